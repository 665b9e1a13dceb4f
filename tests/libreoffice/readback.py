#!/usr/bin/python3
"""Reads a converted result back with readers other than LibreOffice and
prints what it found, a fact a line: the first sheet's name, each row from
row 4 down as "row LABEL AMOUNT", each chart's kind, the ranges an .xlsx
chart reads ("range ..."), the text a file keeps for assistive technology
("alt ..."), an .xlsx's document title, a PDF's page count and the filled paths
of its first page ("page 1 fills N"), and the text of a PDF or SVG.

    readback.py xlsx|ods|pdf|svg FILE
"""
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zipfile
import zlib


def xlsx(path):
    import openpyxl
    sheet = openpyxl.load_workbook(path).worksheets[0]
    rows = [(sheet.cell(row, 1).value, sheet.cell(row, 2).value) for row in range(4, sheet.max_row + 1)]
    return sheet.title, rows, [type(chart).__name__ for chart in sheet._charts]


def ods(path):
    from odf import chart, opendocument, table, text
    document = opendocument.load(path)
    sheet = document.spreadsheet.getElementsByType(table.Table)[0]
    rows = []
    for row in sheet.getElementsByType(table.TableRow):
        cells = []
        for cell in row.getElementsByType(table.TableCell)[:2]:
            value = cell.getAttribute("value")
            cells.append(float(value) if value else "".join(map(str, cell.getElementsByType(text.P))))
        rows += [tuple(cells + [""] * (2 - len(cells)))] * min(int(row.getAttribute("numberrowsrepeated") or 1), 4)
    kinds = [found.getAttribute("class") for child in document.childobjects
             for found in child.getElementsByType(chart.Chart)]
    return sheet.getAttribute("name"), rows[3:], kinds


def xlsx_parts(path):
    with zipfile.ZipFile(path) as package:
        for name in sorted(package.namelist()):
            text = package.read(name).decode("utf-8")
            if re.match(r"xl/charts/chart\d+\.xml$", name):
                for formula in re.findall(r"<c:f>([^<]*)</c:f>", text):
                    print("range", formula)
            if re.match(r"xl/drawings/drawing\d+\.xml$", name):
                for element in ElementTree.fromstring(text).iter():
                    if element.tag.endswith("}cNvPr") and element.get("descr"):
                        print("alt", element.get("title", ""), "|", element.get("descr"))
            if name == "docProps/core.xml":
                for element in ElementTree.fromstring(text).iter("{http://purl.org/dc/elements/1.1/}title"):
                    print("document title", element.text)


def ods_parts(path):
    with zipfile.ZipFile(path) as package:
        root = ElementTree.fromstring(package.read("content.xml"))
    svg_ns = "{urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0}"
    for frame in root.iter("{urn:oasis:names:tc:opendocument:xmlns:drawing:1.0}frame"):
        title, desc = frame.find(svg_ns + "title"), frame.find(svg_ns + "desc")
        if desc is not None:
            print("alt", title.text if title is not None else "", "|", desc.text)


def workbook(reader, path):
    {xlsx: xlsx_parts, ods: ods_parts}[reader](path)
    name, rows, charts = reader(path)
    print("sheet", name)
    for label, amount in rows:
        if label or amount:
            print("row", label, amount if isinstance(amount, str) else "%g" % amount)
    for kind in charts:
        print("chart", kind)


def pdf(path):
    info = subprocess.run(["pdfinfo", path], capture_output=True, text=True, check=True).stdout
    print("pages", next(line.split()[1] for line in info.splitlines() if line.startswith("Pages:")))
    print("alt", next((line.split(":", 1)[1].strip() for line in info.splitlines() if line.startswith("Title:")), ""))
    print("page 1 fills", first_page_fills(path))
    print(subprocess.run(["pdftotext", path, "-"], capture_output=True, text=True, check=True).stdout)


def first_page_fills(path):
    """The fill operators of the first page's drawing: a pie draws each slice as one."""
    data = open(path, "rb").read()
    objects = {int(m.group(1)): m.group(2) for m in re.finditer(rb"(\d+) 0 obj(.*?)endobj", data, re.S)}

    def reference(body, key):
        found = re.search(rb"/" + key + rb"\s*(\[[^\]]*\]|\d+ 0 R)", body)
        return [int(n) for n in re.findall(rb"(\d+) 0 R", found.group(1))] if found else []

    node = next(body for body in objects.values() if re.search(rb"/Type\s*/Pages\b", body) and b"/Parent" not in body)
    while re.search(rb"/Type\s*/Pages\b", node):
        node = objects[reference(node, b"Kids")[0]]
    drawing = b""
    for number in reference(node, b"Contents"):
        body = objects[number]
        stream = re.search(rb"stream\r?\n(.*)endstream", body, re.S).group(1)
        drawing += zlib.decompressobj().decompress(stream) if b"FlateDecode" in body else stream
    # Strings may hold anything: only the operators count.
    drawing = re.sub(rb"\((?:\\.|[^\\)])*\)|<[0-9A-Fa-f\s]*>", b" ", drawing)
    return sum(1 for token in drawing.split() if token in (b"f", b"F", b"f*", b"B", b"B*", b"b", b"b*"))


def svg(path):
    root = ElementTree.parse(path).getroot()
    print("root", root.tag)
    ns = "{http://www.w3.org/2000/svg}"
    title, desc = root.find(ns + "title"), root.find(ns + "desc")
    if desc is not None:
        print("alt", title.text if title is not None else "", "|", desc.text)
    for element in root.iter("{http://www.w3.org/2000/svg}text"):
        print("".join(element.itertext()))


if __name__ == "__main__":
    kind, path = sys.argv[1], sys.argv[2]
    {"xlsx": lambda: workbook(xlsx, path), "ods": lambda: workbook(ods, path),
     "pdf": lambda: pdf(path), "svg": lambda: svg(path)}[kind]()
