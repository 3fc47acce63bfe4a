// Dialog templates of the simulated Windows, read from resource scripts (.rc text).
//
// The simulated DialogBoxParamW and CreateDialogParamW take their templates from the shipped
// resources/installer.rc (ZQ_RESOURCE_DIR), so the template under test is the one the real
// program is built with. The reader understands the part of the resource-script language that
// dialogs use:
//   - DIALOG and DIALOGEX resources with their box, STYLE, EXSTYLE, CAPTION, FONT (size, face,
//     weight, italic, character set), and the items CONTROL, LTEXT, RTEXT, CTEXT, EDITTEXT,
//     PUSHBUTTON, DEFPUSHBUTTON, GROUPBOX, with the default styles the resource compiler gives
//     them;
//   - style expressions of numbers and known style names joined by '|', with NOT and parentheses;
//   - #define lines, and #include "file" through the caller's opener (system headers in <...> are
//     skipped: the style names they define are known here already);
//   - ICON resources (their identifiers are recorded); every other resource is passed over.
// Conditional lines (#if, #ifdef...) and #pragma are ignored.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/windows.h"

namespace sim {

struct DialogItemTemplate {
  std::u16string className;  // "Static", "Edit", "Button", or the class named in CONTROL
  std::u16string text;
  int id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
};

struct DialogTemplate {
  int id = -1;            // the numeric name, or -1 for a named template
  std::u16string name;    // the name when it is not a number
  bool extended = false;  // DIALOGEX
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::u16string caption;
  int fontSize = 0;
  std::u16string fontFace;
  int fontWeight = 0;
  bool fontItalic = false;
  int fontCharset = 0;
  std::vector<DialogItemTemplate> items;
};

struct ResourceScript {
  std::vector<DialogTemplate> dialogs;
  std::vector<int> icons;           // identifiers of ICON resources
  std::vector<std::string> errors;  // "line N: ..." for what could not be read
  const DialogTemplate* FindDialog(const WCHAR* name) const;  // a MAKEINTRESOURCE id or a name
};

// Opens an included file by the name written in the script; nothing when it cannot be read.
using IncludeOpener = std::function<std::optional<std::string>(const std::string& name)>;
ResourceScript ParseResourceScript(const std::string& text, const IncludeOpener& open = {});

// The program's resources: the script a test gave (UseResourceScript, ui.h) or the shipped
// resources/installer.rc, read anew on every call; empty when neither can be read.
ResourceScript ProgramResources();

// How a resource name reads in the journal: "#101" for a MAKEINTRESOURCE id, else the name.
std::string ResourceName(const WCHAR* name);

// Dialog units to pixels for the template font. The simulated display has a fixed dialog base
// unit of 6 x 13 pixels (that of a 9-point font at 96 dpi): x * 6 / 4 and y * 13 / 8, rounded to
// the nearest pixel as MapDialogRect does.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);

}  // namespace sim
