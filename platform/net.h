// Whether the machine is connected to a network.
#pragma once

// True when a non-loopback interface is up with an address. NODESCAN_ONLINE
// set to 1 or 0 forces the answer.
bool InternetConnected();
