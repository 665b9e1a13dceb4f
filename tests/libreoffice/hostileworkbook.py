"""Writes an .xlsx of a few hundred kilobytes whose sheet holds the given
number of megabytes of XML: rows of formula cells, all alike, which deflate
squeezes to almost nothing and which an engine that reads them all holds at
about fifteen times their size.

    hostileworkbook.py PATH MEGABYTES
"""
import sys
import zipfile

PARTS = {
    "[Content_Types].xml":
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/xl/workbook.xml" '
        'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
        '<Override PartName="/xl/worksheets/sheet1.xml" '
        'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>',
    "_rels/.rels":
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Target="xl/workbook.xml" Type="http://schemas.openxmlformats.org/'
        'officeDocument/2006/relationships/officeDocument"/></Relationships>',
    "xl/workbook.xml":
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
        'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
        '<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>',
    "xl/_rels/workbook.xml.rels":
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Target="worksheets/sheet1.xml" Type="http://schemas.openxmlformats.org/'
        'officeDocument/2006/relationships/worksheet"/></Relationships>',
}


def main():
    path, megabytes = sys.argv[1], int(sys.argv[2])
    rows = ("<row>" + "<c><f>1</f></c>" * 1000 + "</row>") * 100
    block = rows.encode()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as workbook:
        for name, text in PARTS.items():
            workbook.writestr(name, text)
        with workbook.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as sheet:
            sheet.write(b'<?xml version="1.0" encoding="UTF-8"?><worksheet '
                        b'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>')
            for _ in range(megabytes * 1024 * 1024 // len(block) + 1):
                sheet.write(block)
            sheet.write(b"</sheetData></worksheet>")


if __name__ == "__main__":
    main()
