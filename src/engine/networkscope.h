#pragma once

#include <QHostAddress>

// Where the crawl may connect. A public page must not make the harvester send requests into
// the user's own network (the router's admin pages, a printer, services on this computer),
// neither by a link nor by a redirect, nor by a name that resolves there. The user can allow
// it (the option "Allow local network addresses", for harvesting an intranet), and a host
// the user mapped to an address with --resolve is the user's explicit choice.
namespace NetworkScope {

enum class Kind
{
    Public,
    Loopback,    // 127.0.0.0/8, ::1
    Private,     // 10/8, 172.16/12, 192.168/16, the provider-shared 100.64/10
    LinkLocal,   // 169.254/16, fe80::/10
    UniqueLocal, // fc00::/7 and the former site-local fec0::/10
    Unspecified, // 0.0.0.0/8 ("this network": Linux connects it to this computer), ::
    Reserved,    // multicast, broadcast and 240/4: never a web server
};

// The kind of an address. IPv4 addresses inside IPv6 (IPv4-mapped ::ffff:a.b.c.d, the
// old IPv4-compatible ::a.b.c.d and the NAT64 prefix 64:ff9b::/96) are judged by the IPv4
// address they carry. An address that is not IPv4 or IPv6 is Reserved.
Kind classify(const QHostAddress &address);

// Anything but Public.
bool isLocal(const QHostAddress &address);

// Whether a connection to address may be made: public addresses always; local ones when
// the user allows them or mapped the host to them.
bool mayConnect(const QHostAddress &address, bool allowLocal, bool mappedByUser);

// Whether a redirect may lead to port: 80 and 443 only, unless the user allows local
// addresses or mapped the host (a mapping names its own port).
bool mayRedirectToPort(quint16 port, bool allowLocal, bool mappedByUser);

} // namespace NetworkScope
