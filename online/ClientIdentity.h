#pragma once
// The identifier that names this machine to the web service: 16 characters
// of 1-9, A-F and X, hashed from hardware facts that are the same for every
// user of the machine and across reboots, computed once per process.
#include <QString>

#include "platform/os/IdentitySources.h"

namespace ClientIdentity {

// This process's identifier, from the machine's own facts.
const QString &current();

// The identifier these facts give (host name: the fallback when no
// hardware fact is known).
QString fromFacts(const IdentitySources &sources, const QString &hostName);

// "10001_DISK_BOARD_ADDRESS", or "10001_HOST" when all three are empty.
QString sourceText(const QString &diskSerial, const QString &boardSerial,
                   const QString &adapterAddress, const QString &hostName);
// MD5 of the text, upper-case hexadecimal, first 16 characters, "0" as "X".
QString digest(const QString &sourceText);
// Serials that firmware fills in when it has none.
bool isPlaceholder(const QString &serial);

} // namespace ClientIdentity
