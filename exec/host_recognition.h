// Whether a host name or address names this machine, as a path's or URL's
// host may spell it.
#pragma once

#include <vector>

#include "include/wide_text.h"

namespace zobrik {

// Whether `host` names this machine: "localhost" and names below it, a
// loopback or unspecified address (127.0.0.0/8, ::1, 0.0.0.0, ::), one of
// `machineNames`, also as "<name>.local", or an address equal to one of
// them. IPv4 addresses are read in any form that inet_aton reads
// (127.1, 0x7f000001, ...), IPv6 ones also in brackets, with a zone, as an
// ipv6-literal.net name or with an IPv4 tail, IPv4 ones also mapped into
// IPv6; trailing dots and letter case do not matter.
bool IsThisMachine(WideStringView host, const std::vector<WideString>& machineNames);

}  // namespace zobrik
