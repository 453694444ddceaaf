#pragma once
// Where installed programs are looked for and the tools that remove them.
// system() is this machine; tests point every root at a prepared tree.
#include <QString>
#include <QStringList>

struct ProgramRoots {
  QStringList applicationDirs; // menu entries, the user's folder first
  QString userApplicationDir;  // where integrated AppImages have their entries
  QString dpkgStatus;
  QString dpkgInfo;     // the packages' file lists
  QStringList iconDirs; // icon theme folders, the user's first
  QString pixmapDir;
  QString iconTheme;                // the desktop's icon theme; empty: hicolor only
  QStringList flatpakInstallations; // user, then system
  QString snapDir;                  // mounted snaps
  QString snapApplicationDir;       // snapd's menu entries
  QString aptGet;
  QString flatpak;
  QString snap;

  static ProgramRoots system();
};
