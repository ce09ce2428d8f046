#include "networkscope.h"

namespace NetworkScope {

namespace {

Kind classifyIPv4(quint32 a)
{
    const auto in = [a](quint32 network, int bits) {
        return (a >> (32 - bits)) == (network >> (32 - bits));
    };
    if (in(0x7f000000, 8))
        return Kind::Loopback;
    if (in(0x0a000000, 8) || in(0xac100000, 12) || in(0xc0a80000, 16) || in(0x64400000, 10))
        return Kind::Private;
    if (in(0xa9fe0000, 16))
        return Kind::LinkLocal;
    if (in(0x00000000, 8))
        return Kind::Unspecified;
    if (in(0xe0000000, 4) || in(0xf0000000, 4))
        return Kind::Reserved; // multicast; 240/4 with the broadcast address
    return Kind::Public;
}

Kind classifyIPv6(const Q_IPV6ADDR &b)
{
    const auto zeros = [&b](int from, int to) {
        for (int i = from; i < to; ++i) {
            if (b[i] != 0)
                return false;
        }
        return true;
    };
    const auto ipv4At12 = [&b] {
        return (quint32(b[12]) << 24) | (quint32(b[13]) << 16) | (quint32(b[14]) << 8) | b[15];
    };
    if (zeros(0, 16))
        return Kind::Unspecified;
    if (zeros(0, 15) && b[15] == 1)
        return Kind::Loopback;
    if (zeros(0, 10) && b[10] == 0xff && b[11] == 0xff)
        return classifyIPv4(ipv4At12()); // ::ffff:a.b.c.d
    if (zeros(0, 12))
        return classifyIPv4(ipv4At12()); // ::a.b.c.d
    if (b[0] == 0x00 && b[1] == 0x64 && b[2] == 0xff && b[3] == 0x9b && zeros(4, 12))
        return classifyIPv4(ipv4At12()); // 64:ff9b::a.b.c.d
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0x80)
        return Kind::LinkLocal;
    if ((b[0] & 0xfe) == 0xfc || (b[0] == 0xfe && (b[1] & 0xc0) == 0xc0))
        return Kind::UniqueLocal;
    if (b[0] == 0xff)
        return Kind::Reserved; // multicast
    return Kind::Public;
}

} // namespace

Kind classify(const QHostAddress &address)
{
    switch (address.protocol()) {
    case QAbstractSocket::IPv4Protocol:
        return classifyIPv4(address.toIPv4Address());
    case QAbstractSocket::IPv6Protocol:
        return classifyIPv6(address.toIPv6Address());
    default:
        return Kind::Reserved;
    }
}

bool isLocal(const QHostAddress &address)
{
    return classify(address) != Kind::Public;
}

bool mayConnect(const QHostAddress &address, bool allowLocal, bool mappedByUser)
{
    return allowLocal || mappedByUser || !isLocal(address);
}

bool mayRedirectToPort(quint16 port, bool allowLocal, bool mappedByUser)
{
    return allowLocal || mappedByUser || port == 80 || port == 443;
}

} // namespace NetworkScope
