// The person at the screen, as far as message boxes go: every MessageBoxW box is recorded, and a
// scripted user answers it.
//
// Answers come from rules, tried in the order they were registered; the first rule that matches
// the box (caption and text contain the given pieces) and has answers left answers it. Without a
// matching rule the user presses Enter, which chooses the box's default button: IDOK for an
// MB_OK box, IDYES for MB_YESNO, IDNO for MB_YESNO | MB_DEFBUTTON2, and so on for the other button
// sets. A rule may also run a callback while its box is up (on the thread that shows the box,
// without the machine lock), to act at exactly that moment.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/windows.h"

namespace sim {

struct MessageBoxRecord {
  HWND owner = nullptr;
  std::u16string caption, text;
  UINT flags = 0;
  int answer = 0;
  DWORD thread = 0;  // the thread that showed the box
};
// Every box shown since the reset, in order. Boxes that failed to appear are not listed.
std::vector<MessageBoxRecord> MessageBoxes();

struct MessageBoxRule {
  std::string captionContains;  // UTF-8; empty matches every caption
  std::string textContains;     // UTF-8; empty matches every text
  int answer = 0;               // the button pressed; 0 presses Enter (the default button)
  int times = -1;               // how many boxes the rule answers (-1: no limit)
  // Runs when the box is shown, before MessageBoxW returns. The record already holds the answer.
  std::function<void(const MessageBoxRecord&)> onShow;
};
void AnswerMessageBox(MessageBoxRule rule);
void AnswerMessageBox(const std::string& captionContains, const std::string& textContains,
                      int answer);
// The next box, whatever it shows, gets this answer (a rule that answers once and matches all).
void AnswerNextMessageBox(int answer);

// Boxes fail to appear: MessageBoxW returns 0 and leaves this error (0 lets boxes appear again).
void FailMessageBoxes(DWORD error);

// The button Enter presses on a box of these flags.
int DefaultButton(UINT flags);

}  // namespace sim
