#pragma once
// The swap lines of an fstab(5) text.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace FstabText {

// The text without the swap lines of the given files, with one swap line for
// newFile at the end; every other line stays byte for byte.
// Whether the text has a swap line for file.
bool namesSwapFile(const QByteArray &text, const QString &file);

QByteArray withSwapFile(const QByteArray &text, const QStringList &oldFiles,
                        const QString &newFile);

} // namespace FstabText
