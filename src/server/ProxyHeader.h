#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>

// The PROXY protocol header a load balancer puts ahead of a relayed connection's own
// bytes, naming the client it relays (versions 1 and 2, as HAProxy's protocol document
// gives them). It is fed the connection's first bytes as they arrive, in pieces of any
// size, and never takes a byte past the header's end.
//
// Version 1 is one line of text, at most MaxV1Length bytes with its CR LF:
//   PROXY TCP4|TCP6 SOURCE DESTINATION SOURCE-PORT DESTINATION-PORT
//   PROXY UNKNOWN [anything]
// Version 2 is binary: a 12-byte signature, version and command (LOCAL or PROXY), family
// and protocol, a 16-bit length, the addresses, then TLVs, which are skipped. Its whole
// header may take up to MaxV2Length bytes: the addresses need at most 216, and the TLVs
// balancers add (a unique ID of up to 128 bytes, TLS details, a host name) fit in the rest
// many times over, while a connection waiting for its header still costs next to nothing.
class ProxyHeader
{
public:
    enum class Status { Incomplete, Complete, Invalid };
    static constexpr qsizetype MaxV1Length = 107;
    static constexpr qsizetype MaxV2Length = 1024;

    // Takes the next bytes of the connection and returns how many of them belong to the
    // header: all of them while it is incomplete, none once it is complete or invalid.
    qsizetype Feed(QByteArrayView bytes);

    Status State() const { return status_; }
    // The header's bytes so far; once complete, the header itself.
    qsizetype Length() const { return header_.size(); }
    // Once complete, the client the balancer relays: an IPv4 or IPv6 address, or null when
    // the header names none (LOCAL, UNKNOWN, an unspecified or unsupported family), where
    // the connection's own peer stands.
    const QHostAddress &Source() const { return source_; }

private:
    qsizetype Wanted(QByteArrayView next) const;
    Status CheckV1();
    Status CheckV2();

    QByteArray header_;
    Status status_ = Status::Incomplete;
    QHostAddress source_;
};
