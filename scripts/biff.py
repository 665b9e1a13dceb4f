"""Reading and patching Excel 97-2003 workbooks (BIFF8 records inside a compound file).

Developer tooling for the chart template generator; the program itself uses chart/xlspatch.cpp.
"""

import struct

SIGNATURE = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"
END_OF_CHAIN = 0xFFFFFFFE
LAST_REGULAR_SECTOR = 0xFFFFFFFA

BOF = 0x0809
EOF = 0x000A
WINDOW2 = 0x023E
SUBSTREAM_WORKSHEET = 0x0010
WINDOW2_SHOW_GRID = 0x0002


class FormatError(Exception):
    pass


class CompoundFile:
    """The sectors, allocation tables and directory of a compound file held in memory."""

    def __init__(self, data):
        if len(data) < 512 or data[:8] != SIGNATURE:
            raise FormatError("not a compound file")
        self.data = data
        self.sector_size = 1 << self._u16(0x1E)
        self.mini_sector_size = 1 << self._u16(0x20)
        self.mini_cutoff = self._u32(0x38)
        fat_sector_count = self._u32(0x2C)
        difat = [self._u32(0x4C + 4 * i) for i in range(109)]
        next_difat = self._u32(0x44)
        seen = set()
        while next_difat < LAST_REGULAR_SECTOR and next_difat not in seen:
            seen.add(next_difat)
            offset = self.sector_offset(next_difat)
            count = self.sector_size // 4 - 1
            difat += [self._u32(offset + 4 * i) for i in range(count)]
            next_difat = self._u32(offset + 4 * count)
        fat_sectors = [s for s in difat if s < LAST_REGULAR_SECTOR][:fat_sector_count]
        self.fat = []
        for s in fat_sectors:
            offset = self.sector_offset(s)
            self.fat += struct.unpack_from("<%dI" % (self.sector_size // 4), data, offset)
        self.minifat = []
        for s in self.chain(self._u32(0x3C)):
            self.minifat += struct.unpack_from("<%dI" % (self.sector_size // 4), data,
                                               self.sector_offset(s))
        self.entries = []
        for s in self.chain(self._u32(0x30)):
            base = self.sector_offset(s)
            for i in range(self.sector_size // 128):
                e = base + 128 * i
                name_bytes = self._u16(e + 0x40)
                name = data[e:e + max(name_bytes - 2, 0)].decode("utf-16-le", "replace")
                self.entries.append({
                    "name": name,
                    "type": data[e + 0x42],
                    "start": self._u32(e + 0x74),
                    "size": self._u32(e + 0x78),
                })
        if not self.entries or self.entries[0]["type"] != 5:
            raise FormatError("compound file without a root entry")
        self.mini_stream = self.chain(self.entries[0]["start"])

    def _u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def _u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def sector_offset(self, sector):
        offset = (sector + 1) * self.sector_size
        if offset + self.sector_size > len(self.data):
            raise FormatError("sector %d lies beyond the end of the file" % sector)
        return offset

    def chain(self, start, table=None):
        table = self.fat if table is None else table
        sectors = []
        s = start
        while s != END_OF_CHAIN and s < LAST_REGULAR_SECTOR:
            if s >= len(table) or len(sectors) > len(table):
                raise FormatError("broken sector chain")
            sectors.append(s)
            s = table[s]
        return sectors

    def stream_offsets(self, name):
        """File offsets of every byte of the stream, so it can be patched in place."""
        entry = next((e for e in self.entries if e["type"] == 2 and e["name"] == name), None)
        if entry is None:
            raise FormatError("no %s stream" % name)
        size = entry["size"]
        offsets = []
        if size < self.mini_cutoff:
            for m in self.chain(entry["start"], self.minifat):
                pos = m * self.mini_sector_size
                host = self.mini_stream[pos // self.sector_size]
                start = self.sector_offset(host) + pos % self.sector_size
                offsets.extend(range(start, start + self.mini_sector_size))
        else:
            for s in self.chain(entry["start"]):
                start = self.sector_offset(s)
                offsets.extend(range(start, start + self.sector_size))
        if len(offsets) < size:
            raise FormatError("%s stream is shorter than its directory entry says" % name)
        return offsets[:size]


def records(stream):
    """(stream offset, type, body) of every record, with the BOF substream type in force."""
    pos = 0
    substreams = []
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        if pos + 4 + length > len(stream):
            raise FormatError("record 0x%04X runs past the end of the stream" % rtype)
        body = stream[pos + 4:pos + 4 + length]
        if rtype == BOF:
            substreams.append(struct.unpack_from("<H", body, 2)[0] if length >= 4 else 0)
        yield pos, rtype, body, (substreams[-1] if substreams else None)
        if rtype == EOF and substreams:
            substreams.pop()
        pos += 4 + length


def workbook_stream(data):
    cf = CompoundFile(data)
    offsets = cf.stream_offsets("Workbook")
    return bytes(data[o] for o in offsets), offsets


def clear_gridlines_flag(path):
    """Marks every worksheet window of the workbook at path as "gridlines not shown"."""
    data = bytearray(open(path, "rb").read())
    stream, offsets = workbook_stream(data)
    patched = 0
    for pos, rtype, body, substream in records(stream):
        if rtype == WINDOW2 and substream == SUBSTREAM_WORKSHEET and len(body) >= 2:
            data[offsets[pos + 4]] &= ~WINDOW2_SHOW_GRID & 0xFF
            patched += 1
    if patched == 0:
        raise FormatError("no worksheet window record in %s" % path)
    with open(path, "wb") as f:
        f.write(data)
    return patched
