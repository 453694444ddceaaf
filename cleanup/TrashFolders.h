#pragma once
// The user's trash folders: the home trash, then each mounted volume's
// $top/.Trash/$uid (only under a sticky .Trash that is not a link) and
// $top/.Trash-$uid, in mount-table order, each folder once.
#include <QStringList>

#include "cleanup/PrivacyLocations.h"

QStringList trashFolders(const PrivacyEnvironment &environment,
                         const QString &mountTable = QStringLiteral("/proc/self/mountinfo"));
