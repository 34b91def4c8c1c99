#!/usr/bin/env python3
"""Writes cipher_vectors.txt: credential cipher texts built from the format alone.

The C++ code is not consulted; every byte comes from the layout
    0x03 | flags | scramble(random | integrity | payload)
with CRC-16/X-25, SHA-1, and qCompress framing (4-byte big-endian length + zlib level 9).

Line kinds (fields separated by one blank, "-" for an empty value):
    key  <hex 64-bit key>
    enc  <compression> <integrity> <random> <plain b64> <cipher b64>
         encipherText must give exactly this text whenever it draws that random byte
         (only every 16th random byte is listed, to keep the file small).
    dec  <plain b64> <cipher b64>       decipherText gives the plain text (status Ok)
    bad  <status> <cipher b64>          decipherText gives empty, lastStatus is <status>
    crc  <data b64> <hex crc>
    sha1 <data b64> <hex digest>
    zip  <data b64> <qCompress b64>
Run: python3 make_cipher_vectors.py > cipher_vectors.txt
"""
import base64
import hashlib
import zlib

KEY = 0x5A17C0DE9E3779B9  # demo deployment key
KEY_BYTES = KEY.to_bytes(8, "little")

AUTOMATIC, ALWAYS, NEVER = 0, 1, 2
NONE, CHECKSUM, HASH = 0, 1, 2
OK, KEY_MISSING, BAD_VERSION, INTEGRITY_MISMATCH = 0, 1, 2, 3


def crc16_x25(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc ^ 0xFFFF


assert crc16_x25(b"123456789") == 0x906E  # the catalogued check value of CRC-16/X-25


def q_compress(data):
    if not data:
        return bytes(4)  # qCompress writes a bare zero length for empty input
    return len(data).to_bytes(4, "big") + zlib.compress(data, 9)


def scramble(block):
    out = bytearray()
    previous = 0
    for i, byte in enumerate(block):
        previous = byte ^ KEY_BYTES[i % 8] ^ previous
        out.append(previous)
    return bytes(out)


def build(payload, flags, random_byte, integrity=None):
    if integrity is None:
        integrity = b""
        if flags & 0x02:
            integrity = crc16_x25(payload).to_bytes(2, "big")
        elif flags & 0x04:
            integrity = hashlib.sha1(payload).digest()
    return bytes([3, flags]) + scramble(bytes([random_byte]) + integrity + payload)


def encipher(plain, compression, integrity, random_byte):
    payload, flags = plain, 0
    if compression == ALWAYS:
        payload, flags = q_compress(plain), 0x01
    elif compression == AUTOMATIC:
        packed = q_compress(plain)
        if len(packed) < len(plain):
            payload, flags = packed, 0x01
    if integrity == CHECKSUM:
        flags |= 0x02
    elif integrity == HASH:
        flags |= 0x04
    return build(payload, flags, random_byte)


def b64(data):
    return base64.b64encode(data).decode("ascii") or "-"


def main():
    lines = ["key %016X" % KEY]

    long_text = ("Korvex " * 12).encode()
    plains = [b"", b"a", b"password", "пароль-Ünïcødé-✓".encode(), long_text]
    for plain in plains:
        for random_byte in range(0, 256, 16):
            lines.append("enc %d %d %d %s %s" % (AUTOMATIC, CHECKSUM, random_byte, b64(plain),
                                                 b64(encipher(plain, AUTOMATIC, CHECKSUM, random_byte))))
    modes = [(ALWAYS, CHECKSUM, b"user"), (ALWAYS, CHECKSUM, b""), (NEVER, CHECKSUM, long_text), (AUTOMATIC, HASH, b"password"),
             (AUTOMATIC, NONE, b"password"), (ALWAYS, HASH, long_text), (7, CHECKSUM, long_text)]
    for compression, integrity, plain in modes:
        for random_byte in range(0, 256, 16):
            lines.append("enc %d %d %d %s %s" % (compression, integrity, random_byte, b64(plain),
                                                 b64(encipher(plain, compression, integrity, random_byte))))

    # Deciphering honours whatever flags the text carries; the CRC wins over SHA-1.
    lines.append("dec %s %s" % (b64(b"both"), b64(build(b"both", 0x06, 0x5C,
                                                          crc16_x25(b"both").to_bytes(2, "big")))))
    lines.append("dec %s %s" % (b64(b"plain"), b64(build(b"plain", 0x00, 0x00))))
    lines.append("dec - %s" % b64(build(b"", 0x04, 0xFF)))
    # Stray characters between the Base64 groups are skipped.
    text = b64(encipher(b"secret", AUTOMATIC, CHECKSUM, 0x11))
    lines.append("dec %s %s" % (b64(b"secret"), text[:4] + "*." + text[4:]))
    # A zlib stream that does not inflate but whose CRC holds yields empty with status Ok.
    broken = (10).to_bytes(4, "big") + b"\x78\xda\xff\xff\xff"
    lines.append("dec - %s" % b64(build(broken, 0x03, 0x42)))

    lines.append("bad %d %s" % (BAD_VERSION, b64(b"\x02" + encipher(b"password", AUTOMATIC, CHECKSUM, 7)[1:])))
    lines.append("bad %d %s" % (BAD_VERSION, b64(b"not a cipher text")))
    lines.append("bad %d %s" % (INTEGRITY_MISMATCH, b64(build(b"", 0x02, 0x01, b""))))
    lines.append("bad %d %s" % (INTEGRITY_MISMATCH, b64(build(b"x", 0x02, 0x01, b""))))
    lines.append("bad %d %s" % (INTEGRITY_MISMATCH, b64(build(b"short", 0x04, 0x01, b""))))
    lines.append("bad %d %s" % (INTEGRITY_MISMATCH, b64(build(b"password", 0x02, 0x01, b"\x00\x00"))))
    lines.append("bad %d %s" % (INTEGRITY_MISMATCH, b64(build(b"password", 0x04, 0x01, bytes(20)))))
    other_key = bytes([3]) + encipher(b"password", AUTOMATIC, CHECKSUM, 9)[1:]
    lines.append("bad %d %s" % (OK, b64(other_key[:2])))  # too short: status untouched

    for data in [b"", b"123456789", b"password", bytes(range(256))]:
        lines.append("crc %s %04X" % (b64(data), crc16_x25(data)))
        lines.append("sha1 %s %s" % (b64(data), hashlib.sha1(data).hexdigest()))
        lines.append("zip %s %s" % (b64(data), b64(q_compress(data))))

    print("\n".join(lines))


main()
