#!/usr/bin/env python3
"""Builds the testbed's Windows Installer packages: the suite's three products, each installing
its program files below Program Files (x86)\\Zorvan (and, for the anti-virus product, the common
application data folder). Files named in PROGRAMS come from the testbed build; every other file
is a small stand-in whose text names it.

usage: make_packages.py OUTDIR PROGRAM_DIR   (PROGRAM_DIR holds ZAVService.exe, Quillon.exe,
                                              AmbrixonClientUpdate.dll)
"""
import os
import pathlib
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent

ZAU_LANGUAGES = ["de", "en", "es", "fr", "it", "ja", "zh_cn", "zh_tw"]
ZAU_LANGUAGE_FILES = ["quillonres.dll", "tamvires.dll", "pordres.dll", "kelbres.dll", "lunmares.dll"]
ZAU_PROGRAM_FILES = ["Brastel.exe", "Corrimet.exe", "Dunvale.dll", "Elmoreth.dll", "fennick.dll",
                     "garrow.dll", "hestrel.ppi", "ivany.ppi", "jastrel.dll", "kelvane.ppi",
                     "lorrimet.dll", "Mordane.dll", "Nethrow.dll", "Pelloran.dll", "quenby.dll"]
PROGRAMS = {"ZAVService.exe", "Quillon.exe", "AmbrixonClientUpdate.dll"}

# Each product: (name, version, product code, upgrade code, package file name,
#                {(root directory id, relative folder): [file names]})
PRODUCTS = [
    ("Zorvan Anti-Virus", "10.0.8", "{3455BA48-DA59-4BAB-A844-B4796C4E7427}",
     "{3155ABEA-901C-4DDA-B18A-D7629F1A9066}", "Zorvan Anti-Virus.msi", {
         ("ProgramFilesFolder", "Zorvan\\Zorvan Anti-Virus"): ["ZAVService.exe", "zavcore.dll"],
         ("ProgramFilesFolder", "Zorvan\\Zorvan Anti-Virus\\Web Intelligence"):
             ["zwi_update.exe", "zwi_update_64.exe"],
         ("CommonAppDataFolder", "Zorvan\\Web Intelligence"): ["zwi_update.exe", "zwi_update_64.exe"],
     }),
    ("Zorvan Remote Management System", "3.2.40", "{BD9FEC90-19F4-4EFA-8BCA-D4C9F17ABBB2}",
     "{19812BC8-C0CC-44E2-8126-683708A6579C}", "Zorvan Remote Management System.msi", {
         ("ProgramFilesFolder", "Zorvan\\Remote Management System"):
             ["DremloUpdateAgentNT.exe", "rmsagent.dll"],
     }),
    ("Zorvan AutoUpdate", "5.1.12", "{11DA360A-467C-462A-90D1-B6FF75C9F034}",
     "{E61D749B-AA3B-45CC-93CD-EBD94E9BEE41}", "Zorvan AutoUpdate.msi", dict(
         [(("ProgramFilesFolder", "Zorvan\\AutoUpdate"),
           ZAU_PROGRAM_FILES + ["Quillon.exe", "AmbrixonClientUpdate.dll"])] +
         [(("ProgramFilesFolder", "Zorvan\\AutoUpdate\\" + lang), ZAU_LANGUAGE_FILES)
          for lang in ZAU_LANGUAGES])),
]


def _ident(prefix, text):
    return prefix + "_" + "".join(c if c.isalnum() else "_" for c in text)


def _xml(text):
    return text.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")


class _Tree:
    """Directory nodes keyed by their path from a root directory id."""

    def __init__(self):
        self.children = {}  # name -> _Tree
        self.files = []     # (component id, file id, source)


def build_wxs(product, stage, program_dir):
    name, version, code, upgrade, _msi, layout = product
    roots = {}
    refs = []
    for (root, folder), files in layout.items():
        node = roots.setdefault(root, _Tree())
        for part in folder.split("\\"):
            node = node.children.setdefault(part, _Tree())
        for file_name in files:
            key = root + "\\" + folder + "\\" + file_name
            if file_name in PROGRAMS:
                source = pathlib.Path(program_dir) / file_name
            else:
                source = stage / _ident("f", key)
                source.write_bytes(f"Zorvan testbed stand-in: {name} {version}, {file_name}\r\n"
                                   .encode("ascii"))
            # wixl takes sources relative to the folder it runs in.
            source = os.path.relpath(source, stage.parent)
            comp, fid = _ident("c", key), _ident("f", key)
            node.files.append((comp, fid, file_name, source))
            refs.append(f'      <ComponentRef Id="{comp}" />')

    lines = []

    def emit(node, path, depth):
        pad = "  " * depth
        for comp, fid, file_name, source in node.files:
            lines.append(f'{pad}<Component Id="{comp}" Guid="*">')
            lines.append(f'{pad}  <File Id="{fid}" Name="{_xml(file_name)}" '
                         f'Source="{_xml(str(source))}" KeyPath="yes" />')
            lines.append(f"{pad}</Component>")
        for child_name, child in node.children.items():
            child_path = path + "\\" + child_name
            lines.append(f'{pad}<Directory Id="{_ident("d", child_path)}" Name="{_xml(child_name)}">')
            emit(child, child_path, depth + 1)
            lines.append(f"{pad}</Directory>")

    for root, node in roots.items():
        lines.append(f'      <Directory Id="{root}">')
        emit(node, root, 4)
        lines.append("      </Directory>")

    template = (HERE / "product.wxs.in").read_text()
    return (template.replace("@PRODUCT_CODE@", code).replace("@UPGRADE_CODE@", upgrade)
            .replace("@NAME@", _xml(name)).replace("@VERSION@", version)
            .replace("@DIRECTORIES@", "\n".join(lines)).replace("@COMPONENT_REFS@", "\n".join(refs)))


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    out, program_dir = pathlib.Path(argv[1]), pathlib.Path(argv[2])
    out.mkdir(parents=True, exist_ok=True)
    for product in PRODUCTS:
        stage = out / (_ident("stage", product[0]))
        stage.mkdir(exist_ok=True)
        wxs = out / (product[4][:-4] + ".wxs")
        wxs.write_text(build_wxs(product, stage, program_dir), encoding="utf-8")
        subprocess.run(["wixl", "-a", "x86", "-o", product[4], wxs.name], check=True, cwd=out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
