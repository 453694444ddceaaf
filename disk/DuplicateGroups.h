#pragma once
// Files by content digest, and the {"groups": [...]} text both duplicate
// scans return.
#include "disk/FileRecord.h"

#include <QByteArray>
#include <map>

// Hexadecimal digest to its records, in the order they joined.
using DigestGroups = std::map<QByteArray, QVector<FileRecord>>;

namespace DuplicateGroups {

// Only digests shared by two or more records, in ascending digest order.
QString toText(const DigestGroups &groups);

// Groups of two or more records and the records in them.
void count(const DigestGroups &groups, int &groupCount, int &fileCount);

} // namespace DuplicateGroups
