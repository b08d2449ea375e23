#!/usr/bin/env python3
"""Writes password_vectors.txt: encoded data-source passwords computed independently of the
library (Python's own base64 module and a direct transcription of the key schedule whose j
starts at (255 mod key length) + 2, or 1 for an empty key).

Each line: user <TAB> password <TAB> encoded value, the texts written as hexadecimal UTF-8 bytes
so that tabs, blanks and non-ASCII characters survive."""
import base64


def rc4(data: bytes, key: bytes) -> bytes:
    n = len(key)
    k = [key[i % n] if n else 0 for i in range(256)]
    s = list(range(256))
    j = (255 % n) + 2 if n else 1
    for i in range(256):
        j = (j + s[i] + k[i]) % 256
        s[i], s[j] = s[j], s[i]
    i = j = 0
    out = bytearray()
    for b in data:
        i = (i + 1) % 256
        j = (j + s[i]) % 256
        s[i], s[j] = s[j], s[i]
        out.append(b ^ s[(s[i] + s[j]) % 256])
    return bytes(out)


CASES = [
    ("reporter", "secret"),
    ("sa", "P@ssw0rd!"),
    ("u", "x"),                      # one-byte key: j starts at 2
    ("ab", "two byte key"),          # j starts at 3
    # Empty key: K all zeros, j starts at 1; with K zero the start value shows only after
    # about 46 bytes, hence the long password.
    ("", "no user " * 8),
    ("admin", ""),
    ("Müller", "Grüße 2009"),        # non-ASCII bytes in key and password
    ("k" * 256, "key of 256 bytes"),
    ("k" * 300, "key of 300 bytes"),
    ("user with blank", "pw with\ttab and = sign"),
    ("scott", "tiger" * 30),         # long value, several Base64 lines' worth
]

with open("password_vectors.txt", "w", encoding="ascii", newline="\n") as out:
    for user, password in CASES:
        key, data = user.encode("utf-8"), password.encode("utf-8")
        encoded = base64.b64encode(rc4(data, key))
        out.write("\t".join([key.hex(), data.hex(), encoded.hex()]) + "\n")
