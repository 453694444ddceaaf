#pragma once
// Makes a folder and its missing parents, as mkdir -p does, one component
// at a time relative to its parent's descriptor: paths of any length and
// names that are not UTF-8 (FileName's text form) work alike.
#include <QByteArray>

class FolderMaker {
public:
  // 0 once the folder exists (made now or before), else an errno value;
  // ENOTDIR with notFolder set when a part of the path exists and is not a
  // folder.
  int make(const QByteArray &path);

  // The part of the path that exists and is not a folder.
  QByteArray notFolder;
};
