#pragma once
// The clipboard, the cursor and the monitors as Qt sees them. The clipboard
// keeps its text after the program ends: Qt hands it to the clipboard
// manager when the application object goes.
#include <QString>

class ScreenAndClipboard {
public:
  // False for empty text, which leaves the clipboard as it was.
  bool copyToClipboard(const QString &text);
  int cursorX() const;
  int cursorY() const;
  int monitorCount() const;
};
