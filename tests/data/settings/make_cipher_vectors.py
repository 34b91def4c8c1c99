#!/usr/bin/env python3
# Writes cipher_vectors.txt from the cipher text layout alone, never from the C++ code:
#   0x03 | flags | scramble(random | integrity | payload); flags 0x01 qCompress (4-byte big-endian length + zlib
#   level 9), 0x02 CRC-16/X-25 big-endian, 0x04 SHA-1. Lines ("-" is empty): key HEX |
#   enc COMPRESSION INTEGRITY RANDOM PLAIN CIPHER | dec STATUS PLAIN CIPHER. Run: python3 THIS > cipher_vectors.txt
import base64, hashlib, zlib

KEY = 0x5A17C0DE9E3779B9  # demo deployment key

def crc16_x25(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc ^ 0xFFFF

assert crc16_x25(b"123456789") == 0x906E  # the catalogued check value
q_compress = lambda data: len(data).to_bytes(4, "big") + zlib.compress(data, 9) if data else bytes(4)
b64 = lambda data: base64.b64encode(data).decode() or "-"

def build(payload, flags, random_byte, check=None, key=KEY):
    if check is None:
        check = crc16_x25(payload).to_bytes(2, "big") if flags & 2 else hashlib.sha1(payload).digest() if flags & 4 else b""
    out, previous = bytearray([3, flags]), 0
    for i, byte in enumerate(bytes([random_byte]) + check + payload):
        previous = byte ^ key.to_bytes(8, "little")[i % 8] ^ previous
        out.append(previous)
    return bytes(out)

def encipher(plain, compression, integrity, random_byte):  # compression 0 automatic, 1 always, other never
    packed = q_compress(plain)
    use = compression == 1 or (compression == 0 and len(packed) < len(plain))
    return build(packed if use else plain, int(use) | {1: 2, 2: 4}.get(integrity, 0), random_byte)

long_text = ("Korvex " * 12).encode()
print("key %016X" % KEY)
for c, i, plain in [(0, 1, b""), (0, 1, b"password"), (0, 1, "пароль-Ünïcødé-✓".encode()), (0, 1, long_text),
                    (1, 1, b"user"), (1, 1, b""), (2, 1, long_text), (0, 2, b"password"), (0, 0, b"password"),
                    (7, 1, long_text)]:
    for r in (0, 224):  # a random byte of zero and one with the high bits set
        print("enc %d %d %d %s %s" % (c, i, r, b64(plain), b64(encipher(plain, c, i, r))))
print("dec 0 %s %s" % (b64(b"both"), b64(build(b"both", 6, 0x5C, crc16_x25(b"both").to_bytes(2, "big")))))  # CRC wins
print("dec 0 %s %s" % (b64(b"plain"), b64(build(b"plain", 0, 0))))
text = b64(encipher(b"secret", 0, 1, 0x11))
print("dec 0 %s %s" % (b64(b"secret"), text[:4] + "*." + text[4:]))  # stray characters are skipped
print("dec 0 - %s" % b64(build((10).to_bytes(4, "big") + b"\x78\xda\xff\xff\xff", 3, 0x42)))  # zlib fails, CRC holds
print("dec 0 - -\ndec 0 - !!!***\ndec 0 - AwI=\ndec 0 - пароль")  # too short: silent, status untouched
for status, data in [(2, b"\x02" + encipher(b"password", 0, 1, 7)[1:]), (2, b"not a cipher text"),
                     (3, build(b"", 2, 1, b"")), (3, build(b"x", 2, 1, b"")), (3, build(b"short", 4, 1, b"")),
                     (3, build(b"password", 2, 1, b"\0\0")), (3, build(b"password", 4, 1, bytes(20))),
                     (3, build(b"password", 2, 1, key=KEY ^ 1 << 56))]:  # another key
    print("dec %d - %s" % (status, b64(data)))
for data, masks in [(encipher(b"password", 0, 1, 32), (0x01, 0x80)), (encipher(long_text, 0, 1, 32), (0xFF,))]:
    for offset, mask in [(o, m) for o in range(2, len(data)) for m in masks]:  # any flipped byte fails the check
        print("dec 3 - %s" % b64(data[:offset] + bytes([data[offset] ^ mask]) + data[offset + 1:]))
