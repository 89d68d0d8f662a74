"""Logos from Pillow images, through the library's logo conversion."""
from __future__ import annotations

from typing import TYPE_CHECKING, Any, NamedTuple, Optional, Tuple, Union

from . import _state, exports
from .errors import StateError

if TYPE_CHECKING:
    from .printer import Printer


class Logo(NamedTuple):
    """A logo definition as the library made it.

    Attributes:
        name: the name the printer stores it under.
        definition: the ``~LOGO;`` text that ``printer_PNGLogo_NORMAL``
            returned (and sent, when a connection was open).
        height, width: the picture's size in dots as declared in it.
    """

    name: Union[str, bytes]
    definition: bytes
    height: int
    width: int


def pack_image(image: Any, threshold: int = 128) -> Tuple[bytes, int, int]:
    """Packs a Pillow image the way ``printer_PNGLogo_NORMAL`` reads pictures:
    rows of (width + 4) // 8 bytes, leftmost pixel in the top bit, 0 for a dot.
    Pixels darker than *threshold* (0..255, after flattening transparency onto
    white) are dots. Returns (bytes, height, width).

    The library reads only (width + 4) // 8 bytes per row, which leaves out
    the last 1 to 3 pixels when width is 8k + 1 to 8k + 3; such images are
    widened with blank columns to 8k + 4, so that no dot is lost."""
    try:
        from PIL import Image
    except ImportError as error:  # pragma: no cover - depends on the system
        raise ImportError("logo_from_image needs Pillow (Debian: python3-pil)") from error
    if not 0 <= threshold <= 255:
        raise ValueError("threshold must be 0 to 255")
    if image.mode in ("RGBA", "LA", "PA") or (image.mode == "P" and "transparency" in image.info):
        rgba = image.convert("RGBA")
        white = Image.new("RGBA", rgba.size, (255, 255, 255, 255))
        image = Image.alpha_composite(white, rgba)
    gray = image.convert("L")
    width, height = gray.size
    if width % 8 in (1, 2, 3):
        wider = Image.new("L", (width + 4 - width % 8, height), 255)
        wider.paste(gray, (0, 0))
        gray, width = wider, wider.size[0]
    # Mode "1" packs rows MSB first into (width + 7) // 8 bytes, 1 for white;
    # for the widths left here that equals (width + 4) // 8.
    bits = gray.point(lambda v: 255 if v >= threshold else 0).convert("1", dither=Image.Dither.NONE)
    return bits.tobytes(), height, width


def logo_from_image(image: Any, name: Union[str, bytes], *, printer: Optional["Printer"] = None,
                    threshold: int = 128) -> Logo:
    """Turns a Pillow image into a logo definition with the library
    (``printer_PNGLogo_NORMAL``), which also sends it at once on the current
    connection when one is open, so the printer stores it under *name*.
    Pass the open *printer* to make sure it goes there; place the logo on a
    form with :meth:`Form.add_logo`. Needs Pillow."""
    picture, height, width = pack_image(image, threshold)
    with _state.LOCK:
        if printer is not None and (printer.closed or _state.current is not printer):
            raise StateError(f"{printer!r} is not the open connection")
        definition = exports.printer_PNGLogo_NORMAL(picture, name, height, width)
    return Logo(name, definition, height, width)
