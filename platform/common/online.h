// What each system's net unit tells the shared InternetConnected.
#pragma once

// Whether a network interface other than the loopback is up with an IPv4 or
// IPv6 address.
bool InterfaceUp();
