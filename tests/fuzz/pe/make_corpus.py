#!/usr/bin/env python3
"""Writes the seed images of the PE reader's fuzz target into corpus/."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, '..', '..', 'unit', 'kxpack'))
import pe_builder  # noqa: E402

seeds = {
    'stub32.exe': pe_builder.build_pe(),
    'stub64.exe': pe_builder.build_pe(pe64=True),
    'no_resources.exe': pe_builder.build_pe(resources=None),
    'one_resource.exe': pe_builder.build_pe(resources=[('KXFILE', 'INIFILE', 0x409, b'[Common]\r\n')]),
}
for name, data in seeds.items():
    with open(os.path.join(here, 'corpus', name), 'wb') as f:
        f.write(data)
