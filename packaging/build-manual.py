#!/usr/bin/env python3
"""Builds the Kestrix manual: build-manual.py OUTDIR SRC.md...

Writes OUTDIR/index.html, one self-contained HTML5 page: a table of contents (id "contents"),
then the chapters in the order given. A chapter's "# Title {#id}" becomes a section heading with
that id, which the window uses to open the manual at a chapter. Needs Python-Markdown (Debian:
python3-markdown).
"""
import sys
from pathlib import Path

STYLE = """
body { font: 16px/1.5 sans-serif; max-width: 50em; margin: 0 auto; padding: 0 1em 4em; color: #222; }
h1, h2, h3, h4 { line-height: 1.2; }
h2 { margin-top: 2.5em; border-bottom: 1px solid #ccc; }
code, pre { font-family: monospace; background: #f3f3f3; }
code { overflow-wrap: break-word; }
pre { padding: .6em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #ccc; padding: .3em .5em; text-align: left; vertical-align: top; }
nav ul { padding-left: 1.2em; }
a { color: #05a; }
"""

PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Kestrix manual</title>
<style>{style}</style>
</head>
<body>
<h1>Kestrix manual</h1>
<nav id="contents">
<h2>Contents</h2>
{toc}
</nav>
{body}
</body>
</html>
"""


def main(args):
    if len(args) < 2:
        sys.exit("usage: build-manual.py OUTDIR SRC.md...")
    try:
        import markdown
    except ImportError:
        sys.exit(f"build-manual.py: {sys.executable} has no markdown module "
                 "(Debian: apt install python3-markdown)")
    sources = [Path(name) for name in args[1:]]
    missing = [str(source) for source in sources if not source.is_file()]
    if missing:
        sys.exit("build-manual.py: source not found: " + ", ".join(missing))

    # One conversion of all chapters, so that every id on the page is unique.
    text = "\n\n".join(source.read_text(encoding="utf-8") for source in sources)
    converter = markdown.Markdown(
        extensions=["toc", "tables", "fenced_code", "attr_list"],
        extension_configs={"toc": {"baselevel": 2, "toc_depth": "2-3"}})
    body = converter.convert(text)

    outdir = Path(args[0])
    outdir.mkdir(parents=True, exist_ok=True)
    page = PAGE.format(style=STYLE, toc=converter.toc, body=body)
    (outdir / "index.html").write_text(page, encoding="utf-8")


if __name__ == "__main__":
    main(sys.argv[1:])
