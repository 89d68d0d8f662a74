"""Pictures of labels through the renderer's command, qovpreview."""
from __future__ import annotations

import os
import re
import shutil
import subprocess
import tempfile
from pathlib import Path
from typing import TYPE_CHECKING, List, Optional, Sequence, Union

from ._loader import ansi_codec
from .errors import PreviewError, RendererNotFoundError

if TYPE_CHECKING:
    from .logo import Logo

#: Environment variable naming the qovpreview program (takes precedence).
PREVIEW_ENV = "QOVPREVIEW"

_PNG = re.compile(r"^\d{3}-.*\.png$")


def find_qovpreview() -> Path:
    """The qovpreview program: ``QOVPREVIEW``, else the one next to the
    loaded library (a build tree holds both), else the first on ``PATH``.
    Raises :class:`RendererNotFoundError` when there is none."""
    env = os.environ.get(PREVIEW_ENV)
    if env:
        if os.access(env, os.X_OK):
            return Path(env)
        raise RendererNotFoundError(f"{PREVIEW_ENV}={env} is not an executable file")
    from . import exports

    try:
        beside = Path(exports.library()._name).resolve().parent / "qovpreview"
    except Exception:  # noqa: BLE001 - no library: look on PATH only
        beside = None
    if beside is not None and os.access(beside, os.X_OK):
        return beside
    found = shutil.which("qovpreview")
    if found:
        return Path(found)
    raise RendererNotFoundError(
        "qovpreview, the label renderer, is not installed: build it (make build) or set QOVPREVIEW")


def preview(source: Union[str, Path], out_dir: Optional[Union[str, Path]] = None, *,
            dpi: Optional[int] = None, paper: Optional[str] = None) -> List[Path]:
    """Renders every label printed by a file of printer input (an emulator
    capture, or form text) with ``qovpreview``; returns the PNG files it
    wrote, in print order (``NNN-<form name>.png``) in *out_dir* (default:
    the source's folder). *dpi* is 203, 300 or 600; *paper* "WxL" in
    thousandths of an inch."""
    source = Path(source)
    if not source.is_file():
        raise FileNotFoundError(f"no such file: {source}")
    out = Path(out_dir) if out_dir is not None else source.resolve().parent
    out.mkdir(parents=True, exist_ok=True)
    command = [str(find_qovpreview())]
    if dpi is not None:
        command += ["--dpi", str(int(dpi))]
    if paper is not None:
        command += ["--paper", str(paper)]
    command += ["--out", str(out), str(source)]
    before = {p.name: p.stat().st_mtime_ns for p in out.iterdir() if _PNG.match(p.name)}
    try:
        run = subprocess.run(command, capture_output=True, text=True, timeout=120)
    except subprocess.TimeoutExpired:
        raise PreviewError(f"{command[0]} did not finish within 120 s") from None
    if run.returncode != 0:
        raise PreviewError(f"{' '.join(command)} failed (exit {run.returncode}): {run.stderr.strip()}")
    written = sorted(p for p in out.iterdir()
                     if _PNG.match(p.name) and before.get(p.name) != p.stat().st_mtime_ns)
    return written


def render_form(text: bytes, path: Path, *, logos: Sequence["Logo"] = (), dpi: Optional[int] = None,
                paper: Optional[str] = None) -> Path:
    """Renders one form text into the PNG *path*. The renderer gets what the
    printer would: the logo definitions, then the form converted from the ANSI
    code page to UTF-8, as ``QOVA_PrintForm`` sends it."""
    with tempfile.TemporaryDirectory(prefix="qovlib-preview-") as work:
        source = Path(work) / "form.txt"
        body = b"".join(logo.definition + b"\r\n" for logo in logos)
        body += text.decode(ansi_codec()).encode("utf-8") + b"\r\n"
        source.write_bytes(body)
        pictures = preview(source, Path(work) / "out", dpi=dpi, paper=paper)
        if not pictures:
            raise PreviewError("qovpreview wrote no picture for the form")
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.move(str(pictures[0]), str(path))
    return path
