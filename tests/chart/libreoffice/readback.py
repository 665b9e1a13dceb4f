#!/usr/bin/python3
"""Reads a converted result workbook or chart back with readers other than
LibreOffice, and prints what it found as JSON: the first sheet's name, its
label and amount from row 4 down, its charts, its text, its pages.

    readback.py xlsx|ods|pdf|svg FILE
"""
import json
import subprocess
import sys
import xml.etree.ElementTree as ElementTree


def read_xlsx(path):
    import openpyxl
    sheet = openpyxl.load_workbook(path).worksheets[0]
    rows = [[sheet.cell(row, 1).value, sheet.cell(row, 2).value] for row in range(4, sheet.max_row + 1)]
    while rows and rows[-1] == [None, None]:
        rows.pop()
    return {"sheet": sheet.title, "rows": rows, "charts": [type(chart).__name__ for chart in sheet._charts]}


def ods_cells(row):
    from odf import table, text
    cells = []
    for cell in row.getElementsByType(table.TableCell):
        repeat = int(cell.getAttribute("numbercolumnsrepeated") or 1)
        value = cell.getAttribute("value")
        if value is None:
            value = "".join(str(p) for p in cell.getElementsByType(text.P)) or None
        else:
            value = float(value)
        cells += [value] * min(repeat, 2)
    return cells[:2]


def read_ods(path):
    from odf import chart, opendocument, table
    document = opendocument.load(path)
    sheet = document.spreadsheet.getElementsByType(table.Table)[0]
    rows = []
    for row in sheet.getElementsByType(table.TableRow):
        repeat = int(row.getAttribute("numberrowsrepeated") or 1)
        rows += [ods_cells(row)] * min(repeat, 4)
    rows = [cells + [None] * (2 - len(cells)) for cells in rows[3:]]
    while rows and rows[-1] == [None, None]:
        rows.pop()
    charts = [element.getAttribute("class")
              for child in document.childobjects for element in child.getElementsByType(chart.Chart)]
    return {"sheet": sheet.getAttribute("name"), "rows": rows, "charts": charts}


def read_pdf(path):
    info = subprocess.run(["pdfinfo", path], capture_output=True, text=True, check=True).stdout
    pages = next(int(line.split()[1]) for line in info.splitlines() if line.startswith("Pages:"))
    text = subprocess.run(["pdftotext", "-layout", path, "-"], capture_output=True, text=True, check=True).stdout
    return {"pages": pages, "text": text}


def read_svg(path):
    root = ElementTree.parse(path).getroot()
    return {"root": root.tag, "text": " ".join("".join(element.itertext()) for element in root.iter()
                                               if element.tag.endswith("}text"))}


if __name__ == "__main__":
    kind, path = sys.argv[1], sys.argv[2]
    readers = {"xlsx": read_xlsx, "ods": read_ods, "pdf": read_pdf, "svg": read_svg}
    json.dump(readers[kind](path), sys.stdout)
