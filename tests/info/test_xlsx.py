#!/usr/bin/env python3
"""sheetpeek-info --xlsx as a process: the workbook unzipped and its XML read back, cell by cell,
against the JSON of the same files and against the texts that spreadsheets like to mangle.

Usage: test_xlsx.py SHEETPEEK_INFO DRAWINGS_DIR [SHEET_XML_OUT]
With SHEET_XML_OUT the sheet's XML of the checked workbook is copied there (for comparing builds)."""
import datetime
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile
import zlib

info, drawings = sys.argv[1], sys.argv[2]
sheet_copy = sys.argv[3] if len(sys.argv) > 3 else None
failures = []
NS = {
    "m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
    "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "xdr": "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing",
    "a": "http://schemas.openxmlformats.org/drawingml/2006/main",
    "rel": "http://schemas.openxmlformats.org/package/2006/relationships",
}
R_ID = "{%s}id" % NS["r"]
R_EMBED = "{%s}embed" % NS["r"]


def check(ok, what):
    if not ok:
        failures.append(what)


def run(*args):
    r = subprocess.run([info, *args], capture_output=True, timeout=120)
    return r.returncode, r.stdout, r.stderr.decode("utf-8", "replace")


def drawing(*records):
    return ("\n".join(records) + "\n").encode("cp932")


def note(i, label, text):
    return f'Note\t{i},1,"{label}","{text}"'


def png_rgb(data):
    """Pixels of an indexed PNG (bit depth 1-8) as RGB tuples, rows top to bottom."""
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "picture is no PNG")
    pos, idat, palette = 8, b"", []
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        pos += 12 + n
        if kind == b"IHDR":
            w, h, depth, ctype = struct.unpack(">IIBB", body[:10])
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            idat += body
    check(ctype == 3, f"PNG colour type {ctype}")
    raw, stride, prev, rows = zlib.decompress(idat), (w * depth + 7) // 8, None, []
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        prev = prev or bytearray(stride)
        for i in range(stride):
            left = line[i - 1] if i else 0
            up, ul = prev[i], prev[i - 1] if i else 0
            if f == 1:
                line[i] = (line[i] + left) & 255
            elif f == 2:
                line[i] = (line[i] + up) & 255
            elif f == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif f == 4:
                p = left + up - ul
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - ul)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else ul)) & 255
        prev = line
        for x in range(w):
            bit = x * depth
            rows.append(palette[(line[bit // 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1)])
    return w, h, rows


def bmp_rgb(data):
    """Pixels of a 4-bit BMP as RGB tuples, rows top to bottom."""
    off, w, h = struct.unpack("<I", data[10:14])[0], *struct.unpack("<ii", data[18:26])
    palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(16)]
    stride, rows = ((w * 4 + 31) // 32) * 4, []
    for y in range(h - 1, -1, -1):
        line = data[off + y * stride:off + (y + 1) * stride]
        rows += [palette[(line[x // 2] >> (0 if x % 2 else 4)) & 15] for x in range(w)]
    return w, h, rows


shared = []  # the workbook's shared strings, once it is read


def cell_text(c):
    """A cell's text (inline or shared) with the file format's _xHHHH_ escapes undone."""
    holder = shared[int(c.find("m:v", NS).text)] if c.get("t") == "s" else c
    t = "".join(x.text or "" for x in holder.iter("{%s}t" % NS["m"]))
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), t)


def column_index(ref):
    n = 0
    for ch in re.match(r"[A-Z]+", ref).group(0):
        n = n * 26 + ord(ch) - 64
    return n - 1


root = tempfile.mkdtemp(prefix="sheetpeek-xlsx-")
try:
    plans = os.path.join(root, "plans")
    os.makedirs(os.path.join(plans, "sub"))
    preview = open(os.path.join(drawings, "plan_with_preview.cad"), "rb").read()
    # The texts that CSV imports mangle, two items of one label, a date that is none, and names a
    # link must escape.
    files = {
        "001.cad": drawing("Version\t2.1", "Date\t2024,5,14,9,30", "Update\t2025,2,29,16,5", "Elms\t1532",
                           note(0, "図面番号", "001"), note(1, "縮尺", "1/20"), note(2, "式", "=1+2"),
                           note(3, "備考", "NA"), note(4, "図面番号", "A-2"), note(5, "記号", "_x0041_"),
                           note(6, "式", "@SUM(A1)"), note(7, "日付", "2024年10月2日")),
        "b.cad": drawing("Version\t2.1", "Date\t1899,12,31,0,0", "Elms\t0", note(0, "工事名", "-5"),
                         note(1, "縮尺", "1:50"), note(2, "", "ラベルなし")),
        "sub/プラン 100%#1.cad": preview,
        "sub/z-dup.cad": preview,
        "text.cad": b"just some text\n",
    }
    for name, data in files.items():
        with open(os.path.join(plans, name), "wb") as f:
            f.write(data)
    missing = os.path.join(root, "missing.cad")
    out = os.path.join(root, "台帳.XLSX")

    rc, _, err = run("--xlsx", out, "-r", plans, missing)
    check(rc == 1, f"exit code {rc} with a missing file")
    check(f"sheetpeek-info: {missing}: " in err and "text.cad: no drawing header found" in err, f"errors: {err}")
    rc, js, _ = run("--json", "-r", plans, missing)
    reports = [json.loads(line) for line in js.decode().splitlines()]

    z = zipfile.ZipFile(out)
    if "xl/sharedStrings.xml" in z.namelist():
        shared = ET.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", NS)
    sheet = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
    if sheet_copy:
        with open(sheet_copy, "wb") as f:
            f.write(z.read("xl/worksheets/sheet1.xml"))
    check(b"\xe5\x9b\xb3\xe9\x9d\xa2\xe5\x8f\xb0\xe5\xb8\xb3" in z.read("xl/workbook.xml"), "sheet not named 図面台帳")
    styles = ET.fromstring(z.read("xl/styles.xml"))
    formats = {x.get("numFmtId"): x.get("formatCode") for x in styles.iter("{%s}numFmt" % NS["m"])}
    xfs = list(styles.find("m:cellXfs", NS))
    fonts = list(styles.find("m:fonts", NS))

    def style(c):
        xf = xfs[int(c.get("s", "0"))]
        bold = fonts[int(xf.get("fontId", "0"))].find("m:b", NS) is not None
        return formats.get(xf.get("numFmtId"), xf.get("numFmtId")), bold

    grid = {}
    for row in sheet.iter("{%s}row" % NS["m"]):
        for c in row.iter("{%s}c" % NS["m"]):
            grid[(int(row.get("r")) - 1, column_index(c.get("r")))] = c
    heights = {int(r.get("r")) - 1: float(r.get("ht", "15")) for r in sheet.iter("{%s}row" % NS["m"])}

    captions = ["ファイル名", "フォルダ", "作成日時", "更新日時", "要素数", "図面サイズ", "図面尺度", "ファイルタイプ",
                "プレビュー", "エラー"]
    header = [cell_text(grid[(0, i)]) for i in range(max(c for _, c in grid) + 1)]
    labels = ["図面番号", "縮尺", "式", "備考", "記号", "日付", "工事名", ""]
    check(header[:10] == captions, f"captions {header[:10]}")
    check(all(style(grid[(0, i)])[1] for i in range(len(header))), "header not bold")
    # Labels in order of first appearance: 001.cad first, b.cad adds 工事名 and the empty label,
    # the preview drawings (their labels are those of the sample) come after.
    check(header[10:18] == labels, f"label columns {header[10:]}")
    col = {name: i for i, name in enumerate(header) if name not in header[:i]}
    pane = sheet.find(".//m:pane", NS)
    check(pane is not None and pane.get("state") == "frozen" and pane.get("ySplit") == "1", "header not frozen")
    check(sheet.find("m:autoFilter", NS).get("ref").startswith("A1:"), "no autofilter")

    def value(r, name):
        c = grid.get((r, col[name]))
        if c is None:
            return None
        kind = c.get("t", "n")
        if kind in ("inlineStr", "s", "str"):
            check(kind == "inlineStr" or kind == "s", f"cell {c.get('r')} of kind {kind}")
            check(c.find("m:f", NS) is None, f"cell {c.get('r')} is a formula")
            return cell_text(c)
        fmt, _ = style(c)
        v = float(c.find("m:v", NS).text)
        if fmt == "yyyy/mm/dd hh:mm":
            return datetime.datetime(1899, 12, 30) + datetime.timedelta(days=v, seconds=0.5)
        return v

    def date_of(raw, text):
        y, mo, d, h, mi = raw
        try:
            return datetime.datetime(y, mo, d, h, mi) if y >= 1900 else text
        except ValueError:
            return text

    # Every row against the JSON of its file.
    check(len(reports) == 6, f"{len(reports)} JSON reports")
    links = {x.get("Id"): x.get("Target") for x in
             ET.fromstring(z.read("xl/worksheets/_rels/sheet1.xml.rels")).iter("{%s}Relationship" % NS["rel"])}
    hyperlinks = {h.get("ref"): links[h.get(R_ID)] for h in sheet.iter("{%s}hyperlink" % NS["m"])}
    for r, j in enumerate(reports, start=1):
        name = j["path"]
        got = {k: value(r, k) for k in col}
        if got["作成日時"] is not None and isinstance(got["作成日時"], datetime.datetime):
            got["作成日時"] = got["作成日時"].replace(second=0, microsecond=0)
        if got["更新日時"] is not None and isinstance(got["更新日時"], datetime.datetime):
            got["更新日時"] = got["更新日時"].replace(second=0, microsecond=0)
        if not j["opened"]:
            check(got["ファイル名"] == os.path.basename(name) and got["エラー"] == j["error"] and got["要素数"] is None,
                  f"row of a file that did not open: {got}")
            check(f"A{r + 1}" not in hyperlinks, "a link to a file that did not open")
            continue
        want = {"ファイル名": j["file_name"], "フォルダ": j["folder"],
                "作成日時": date_of(j["raw"]["create"], j["create_date"]),
                "更新日時": date_of(j["raw"]["update"], j["update_date"]), "要素数": float(j["raw"]["elements"]),
                "図面サイズ": j["size"] or None, "図面尺度": j["scale"] or None, "ファイルタイプ": j["file_kind"] or None,
                "エラー": None if j["read_ok"] else "no drawing header found", "プレビュー": None}
        joined = {}
        for item in j["items"]:
            if item["label"] or item["text"]:
                joined.setdefault(item["label"], [])
                if item["text"]:
                    joined[item["label"]].append(item["text"])
        for label in header[10:]:
            want[label] = "\n".join(joined[label]) if joined.get(label) else None
        check(got == want, f"row of {name}:\n got  {got}\n want {want}")
        target = hyperlinks.get(f"A{r + 1}", "")
        check(target.startswith("file:///") and urllib.parse.unquote(target[7:]) == os.path.abspath(name)
              and " " not in target and "#" not in target[8:] and target.isascii(), f"link {target!r} for {name}")

    # The mangled texts, spelled out: each a text cell exactly as written.
    first = reports.index(next(j for j in reports if j["path"].endswith("001.cad"))) + 1
    for name, want in (("図面番号", "001\nA-2"), ("縮尺", "1/20"), ("式", "=1+2\n@SUM(A1)"), ("備考", "NA"),
                       ("記号", "_x0041_"), ("日付", "2024年10月2日")):
        check(value(first, name) == want, f"{name}: {value(first, name)!r}, want {want!r}")
    check(value(first, "作成日時").replace(microsecond=0) == datetime.datetime(2024, 5, 14, 9, 30), f"2024-05-14 09:30: {value(first, '作成日時')!r}")
    check(value(first, "更新日時") == "2025年 2月29日 16時 5分", f"Feb 29 2025: {value(first, '更新日時')!r}")
    check(style(grid[(first, col["図面番号"])])[0] in ("0", None), "item cell has a number format")

    # Pictures: one per preview drawing, in its row and the preview column, with the preview's
    # pixels (against the BMP export, a separate encoder); the two equal previews stored once.
    drawing_xml = ET.fromstring(z.read("xl/drawings/drawing1.xml"))
    media = {x.get("Id"): x.get("Target") for x in
             ET.fromstring(z.read("xl/drawings/_rels/drawing1.xml.rels")).iter("{%s}Relationship" % NS["rel"])}
    anchors = [(int(a.find("xdr:from/xdr:row", NS).text), int(a.find("xdr:from/xdr:col", NS).text),
                media[a.find(".//a:blip", NS).get(R_EMBED)]) for a in drawing_xml.findall("xdr:twoCellAnchor", NS)]
    with_preview = [r for r, j in enumerate(reports, start=1) if j.get("preview")]
    check([a[0] for a in anchors] == with_preview and all(a[1] == col["プレビュー"] for a in anchors),
          f"picture anchors {anchors}, want rows {with_preview}")
    check(len({a[2] for a in anchors}) == 1 and sum(n.startswith("xl/media/") for n in z.namelist()) == 1,
          "equal previews not stored once")
    bmp = os.path.join(root, "p.bmp")
    rc, _, _ = run("--preview-out", bmp, os.path.join(plans, "sub/z-dup.cad"))
    want_w, want_h, want_px = bmp_rgb(open(bmp, "rb").read())
    w, h, px = png_rgb(z.read("xl/" + anchors[0][2].replace("../", "")))
    check((w, h) == (want_w, want_h) and px == want_px, f"picture {w}x{h} differs from the preview {want_w}x{want_h}")
    check(all(heights[r] * 4 / 3 >= want_h for r in with_preview), "rows lower than their pictures")
    # Each picture ends in its own row, as tall as the preview: one anchored past its row is
    # stretched over the rows it reaches.
    ends = [(int(a.find("xdr:to/xdr:row", NS).text),
             int(a.find("xdr:to/xdr:rowOff", NS).text) - int(a.find("xdr:from/xdr:rowOff", NS).text))
            for a in drawing_xml.findall("xdr:twoCellAnchor", NS)]
    want_ends = [(r, reports[r - 1]["preview"]["height"] * 9525) for r in with_preview]
    check(ends == want_ends, f"pictures end at {ends}, want {want_ends}")

    # A wrong extension is a usage error, and nothing is written.
    rc, _, err = run("--xlsx", os.path.join(root, "r.csv"), plans)
    check(rc == 2 and not os.path.exists(os.path.join(root, "r.csv")), f"--xlsx r.csv: {rc} {err}")
finally:
    shutil.rmtree(root)

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
