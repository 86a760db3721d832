#!/usr/bin/env python3
"""An independent reading of a signed installer's certificate table, with
the standard library only: what Windows' strict signature check
(EnableCertPaddingCheck) looks at. Prints one line per fact and exits 1
when the table does not end the file, holds other than one PKCS#7 entry,
or anything but zero padding (fewer than 8 bytes) follows the PKCS#7 data.

  signature_layout.py INSTALLER [--tag-oid 1.3.6.1.4.1.61529.1.1]

Prints: the PKCS#7 length, the padding, the number of certificates in the
set, and for each certificate carrying the tag OID "tag certificate: N
bytes of tag".
"""
import struct
import sys


def der(data, at, limit):
    """(tag, content start, end) of the DER item at data[at]."""
    tag = data[at]
    length = data[at + 1]
    header = 2
    if length & 0x80:
        count = length & 0x7F
        if count == 0 or count > 4:
            raise ValueError("bad DER length at %d" % at)
        length = int.from_bytes(data[at + 2:at + 2 + count], "big")
        header += count
    end = at + header + length
    if end > limit:
        raise ValueError("DER item at %d runs past its parent" % at)
    return tag, at + header, end


def items(data, start, end):
    at = start
    while at < end:
        tag, content, stop = der(data, at, end)
        yield tag, at, content, stop
        at = stop


def oid_bytes(dotted):
    parts = [int(p) for p in dotted.split(".")]
    out = bytes([40 * parts[0] + parts[1]])
    for p in parts[2:]:
        chunk = [p & 0x7F]
        p >>= 7
        while p:
            chunk.insert(0, 0x80 | (p & 0x7F))
            p >>= 7
        out += bytes(chunk)
    return out


def tag_of(cert, oid):
    """The tag bytes in the certificate's extension under oid, or None."""
    _, c, e = der(cert, 0, len(cert))
    _, tc, te = der(cert, c, e)
    for tag, _, content, stop in items(cert, tc, te):
        if tag != 0xA3:
            continue
        _, lc, le = der(cert, content, stop)
        for _, _, xc, xe in items(cert, lc, le):
            parts = list(items(cert, xc, xe))
            if parts[0][0] == 0x06 and cert[parts[0][2]:parts[0][3]] == oid:
                value = parts[-1]
                _, ic, ie = der(cert, value[2], value[3])
                return cert[ic:ie]
    return None


def main():
    args = sys.argv[1:]
    oid = oid_bytes("1.3.6.1.4.1.61529.1.1")
    if len(args) == 3 and args[1] == "--tag-oid":
        oid = oid_bytes(args[2])
    elif len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    data = open(args[0], "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    checksum_stored = struct.unpack_from("<I", data, optional + 64)[0]
    address, size = struct.unpack_from("<II", data, optional + 96 + 8 * 4)
    if size == 0:
        print("not signed")
        return 1
    if address + size != len(data):
        print("the certificate table does not end the file")
        return 1
    length, revision, kind = struct.unpack_from("<IHH", data, address)
    print("entry: length %d, revision 0x%04x, type %d, table %d bytes" % (length, revision, kind, size))
    if (length + 7) // 8 * 8 != size or revision != 0x200 or kind != 2:
        print("the table holds other than one PKCS#7 entry")
        return 1
    blob = data[address + 8:address + length]
    tag, content, end = der(blob, 0, len(blob))
    after = blob[end:] + data[address + length:]
    print("pkcs7: %d bytes, then %d bytes: %s" % (end, len(after), after.hex() or "nothing"))
    # The PE checksum, recomputed over the whole file.
    total = 0
    for i in range(0, len(data) - 1, 2):
        if optional + 64 <= i < optional + 68:
            continue
        total += data[i] | data[i + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    if len(data) % 2:
        total += data[-1]
        total = (total & 0xFFFF) + (total >> 16)
    print("checksum: %s" % ("matches" if (total + len(data)) & 0xFFFFFFFF == checksum_stored else "WRONG"))
    # ContentInfo -> [0] -> SignedData -> certificates [0].
    _, oc, oe = list(items(blob, content, end))[1][1:]
    _, sc, se = der(blob, oc, oe)
    certificates = [i for i in items(blob, sc, se) if i[0] == 0xA0]
    count = 0
    if certificates:
        for _, start, _, stop in items(blob, certificates[0][2], certificates[0][3]):
            count += 1
            found = tag_of(blob[start:stop], oid)
            if found is not None:
                print("tag certificate: %d bytes of tag" % len(found))
    print("certificates: %d" % count)
    bad = len(after) >= 8 or any(after) or (total + len(data)) & 0xFFFFFFFF != checksum_stored
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
