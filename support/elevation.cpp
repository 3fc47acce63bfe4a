#include "support/elevation.h"

#include "support/handles.h"

bool QueryElevation(bool* elevated) {
  KernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size))
    return false;
  *elevated = elevation.TokenIsElevated != 0;
  return true;
}

bool CountsAsElevated() {
  bool elevated = true;
  return !QueryElevation(&elevated) || elevated;
}
