#!/usr/bin/env python3
"""Unpacks the PPDs of Debian's openprinting-ppds package into a directory.

The package ships its PPDs as one xz-compressed archive inside a driver script
(/usr/lib/cups/driver/openprinting-ppds): a base64 index of name -> (offset,
length) whose ARCHIVE member is the base64 of the xz stream of all PPDs laid
end to end. This reads that data without running the script.

usage: unpack-openprinting-ppds.py DRIVER_SCRIPT DEST_DIR
"""
import base64
import json
import lzma
import os
import re
import sys

CHUNK = 16 << 20


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    script, dest = sys.argv[1], sys.argv[2]
    with open(script, 'rb') as f:
        source = f.read()
    m = re.search(rb'^ppds_compressed_b64 = b"([A-Za-z0-9+/=]*)"', source, re.M)
    if not m:
        sys.exit(f'{script}: no PPD archive found')
    index = json.loads(lzma.decompress(base64.b64decode(m.group(1))).decode('ascii'))
    archive = base64.b64decode(index.pop('ARCHIVE'))
    del source

    # Entries are laid end to end; stream through the archive in their order.
    entries = sorted((start, length, name) for name, (start, length, _) in index.items())
    decompressor = lzma.LZMADecompressor()
    pending = bytearray()
    consumed = 0  # archive offset of pending[0]
    feed = archive
    written = 0
    for start, length, name in entries:
        if start < consumed:
            sys.exit(f'{name}: overlapping entries are not expected')
        while consumed + len(pending) < start + length:
            if decompressor.eof:
                sys.exit(f'{name}: archive ends early')
            # The decompressor keeps the input it has not used yet.
            pending += decompressor.decompress(feed, CHUNK)
            feed = b''
        begin = start - consumed
        data = bytes(pending[begin:begin + length])
        del pending[:begin + length]
        consumed = start + length
        # Names read "0/ppd/openprinting/<maker>/<file>"; keep the part after "ppd/".
        relative = name.split('/', 1)[1]
        relative = relative[len('ppd/'):] if relative.startswith('ppd/') else relative
        if os.path.isabs(relative) or '..' in relative.split('/'):
            sys.exit(f'{name}: unsafe name')
        path = os.path.join(dest, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as out:
            out.write(data)
        written += 1
    print(f'unpacked {written} PPDs into {dest}')


if __name__ == '__main__':
    main()
