#!/usr/bin/env python3
"""Adds a PKCS #9 countersignature (an Authenticode timestamp of the older kind) to the
signer of a DER PKCS #7 SignedData, as a timestamping service's answer would give it.

    countersign.py SIGNATURE TSA-CERT TSA-KEY TIME OUTPUT [--sha1] [--wrong-digest] [--bad-signature]

The countersignature is a SignerInfo over the signer's encrypted digest with the
attributes contentType (data), signingTime (TIME, YYMMDDhhmmssZ) and messageDigest,
signed with TSA-KEY (RSA, SHA-256 or with --sha1 SHA-1, by openssl); it goes into the
signer's unauthenticated attributes, and TSA-CERT into the SignedData's certificates.
--wrong-digest makes the messageDigest that of other bytes; --bad-signature changes one
byte of the signature.
"""

import hashlib
import subprocess
import sys


def read_tlv(data, offset):
    """Returns (tag, start of content, end of element) of the DER element at offset."""
    tag = data[offset]
    length = data[offset + 1]
    start = offset + 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[start:start + count], "big")
        start += count
    return tag, start, start + length


def children(data):
    """The DER elements inside data, as byte strings."""
    result = []
    offset = 0
    while offset < len(data):
        _, _, end = read_tlv(data, offset)
        result.append(data[offset:end])
        offset = end
    return result


def content(element):
    _, start, end = read_tlv(element, 0)
    return element[start:end]


def tlv(tag, body):
    if len(body) < 0x80:
        length = bytes([len(body)])
    else:
        size = (len(body).bit_length() + 7) // 8
        length = bytes([0x80 | size]) + len(body).to_bytes(size, "big")
    return bytes([tag]) + length + body


def oid(text):
    parts = [int(p) for p in text.split(".")]
    body = bytearray([parts[0] * 40 + parts[1]])
    for part in parts[2:]:
        chunk = [part & 0x7F]
        part >>= 7
        while part:
            chunk.append(0x80 | (part & 0x7F))
            part >>= 7
        body += bytes(reversed(chunk))
    return tlv(0x06, bytes(body))


def attribute(kind, value):
    return tlv(0x30, oid(kind) + tlv(0x31, value))


SEQUENCE, SET, OCTETS, UTCTIME = 0x30, 0x31, 0x04, 0x17
NULL = b"\x05\x00"


def main(argv):
    source, cert_path, key_path, when, output = argv[:5]
    options = set(argv[5:])
    p7 = open(source, "rb").read()

    # ContentInfo { signedData, [0] { SignedData } }
    content_type, explicit = children(content(p7))
    signed_data = children(content(content(explicit)))
    infos_index = len(signed_data) - 1
    signer_infos = children(content(signed_data[infos_index]))
    signer = children(content(signer_infos[0]))
    encrypted_digest = content(next(e for e in signer if e[0] == OCTETS))

    cert = subprocess.run(["openssl", "x509", "-in", cert_path, "-outform", "DER"], check=True,
                          capture_output=True).stdout
    tbs = children(content(children(content(cert))[0]))
    first = 1 if tbs[0][0] == 0xA0 else 0  # after the explicit version
    serial, issuer = tbs[first], tbs[first + 2]

    digest, digest_oid = ("sha1", "1.3.14.3.2.26") if "--sha1" in options else ("sha256", "2.16.840.1.101.3.4.2.1")
    digested = encrypted_digest + (b"other bytes" if "--wrong-digest" in options else b"")
    attributes = sorted([
        attribute("1.2.840.113549.1.9.3", oid("1.2.840.113549.1.7.1")),
        attribute("1.2.840.113549.1.9.5", tlv(UTCTIME, when.encode())),
        attribute("1.2.840.113549.1.9.4", tlv(OCTETS, hashlib.new(digest, digested).digest())),
    ])
    signed_attributes = b"".join(attributes)
    signature = subprocess.run(["openssl", "dgst", "-" + digest, "-sign", key_path], input=tlv(SET, signed_attributes),
                               check=True, capture_output=True).stdout
    if "--bad-signature" in options:
        signature = signature[:-1] + bytes([signature[-1] ^ 1])

    countersignature = tlv(SEQUENCE, b"".join([
        tlv(0x02, b"\x01"),
        tlv(SEQUENCE, issuer + serial),
        tlv(SEQUENCE, oid(digest_oid) + NULL),
        tlv(0xA0, signed_attributes),
        tlv(SEQUENCE, oid("1.2.840.113549.1.1.1") + NULL),
        tlv(OCTETS, signature),
    ]))
    unsigned = attribute("1.2.840.113549.1.9.6", countersignature)
    if signer[-1][0] == 0xA1:
        signer[-1] = tlv(0xA1, content(signer[-1]) + unsigned)
    else:
        signer.append(tlv(0xA1, unsigned))
    signer_infos[0] = tlv(SEQUENCE, b"".join(signer))
    signed_data[infos_index] = tlv(SET, b"".join(signer_infos))

    # The timestamping certificate joins the certificates ([0] after the content).
    certificates = next((i for i, e in enumerate(signed_data) if e[0] == 0xA0), None)
    if certificates is None:
        signed_data.insert(3, tlv(0xA0, cert))
    else:
        signed_data[certificates] = tlv(0xA0, content(signed_data[certificates]) + cert)
    body = tlv(0xA0, tlv(SEQUENCE, b"".join(signed_data)))
    open(output, "wb").write(tlv(SEQUENCE, content_type + body))


if __name__ == "__main__":
    main(sys.argv[1:])
