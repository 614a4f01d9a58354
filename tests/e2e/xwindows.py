# SPDX-License-Identifier: GPL-3.0-or-later
"""A few X11 queries xdotool cannot answer (selection owners, window trees, properties),
through libX11 with ctypes so no extra package is needed."""

import ctypes
import ctypes.util

_lib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")

Window = ctypes.c_ulong
Atom = ctypes.c_ulong


class _WindowAttributes(ctypes.Structure):
    _fields_ = [
        ("x", ctypes.c_int), ("y", ctypes.c_int),
        ("width", ctypes.c_int), ("height", ctypes.c_int),
        ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
        ("visual", ctypes.c_void_p), ("root", Window),
        ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
        ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
        ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
        ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
        ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int),
        ("all_event_masks", ctypes.c_long), ("your_event_mask", ctypes.c_long),
        ("do_not_propagate_mask", ctypes.c_long), ("override_redirect", ctypes.c_int),
        ("screen", ctypes.c_void_p),
    ]


_ErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)

_lib.XOpenDisplay.restype = ctypes.c_void_p
_lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
_lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
_lib.XDefaultRootWindow.restype = Window
_lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_lib.XInternAtom.restype = Atom
_lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_lib.XGetSelectionOwner.restype = Window
_lib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, Atom]
_lib.XQueryTree.restype = ctypes.c_int
_lib.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                            ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
_lib.XGetWindowProperty.restype = ctypes.c_int
_lib.XGetWindowProperty.argtypes = [ctypes.c_void_p, Window, Atom, ctypes.c_long, ctypes.c_long,
                                    ctypes.c_int, Atom, ctypes.POINTER(Atom), ctypes.POINTER(ctypes.c_int),
                                    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                    ctypes.POINTER(ctypes.c_void_p)]
_lib.XGetWindowAttributes.restype = ctypes.c_int
_lib.XGetWindowAttributes.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(_WindowAttributes)]
_lib.XTranslateCoordinates.restype = ctypes.c_int
_lib.XTranslateCoordinates.argtypes = [ctypes.c_void_p, Window, Window, ctypes.c_int, ctypes.c_int,
                                       ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                       ctypes.POINTER(Window)]
_lib.XFree.argtypes = [ctypes.c_void_p]
_lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
_lib.XSetErrorHandler.restype = ctypes.c_void_p
_lib.XSetErrorHandler.argtypes = [_ErrorHandler]


# Windows vanish between a tree query and a property read; the default handler would exit.
@_ErrorHandler
def _ignoreErrors(_display, _event):
    return 0


_lib.XSetErrorHandler(_ignoreErrors)

IS_VIEWABLE = 2


class XDisplay:
    def __init__(self, name):
        self._display = _lib.XOpenDisplay(name.encode())
        if not self._display:
            raise RuntimeError(f"cannot open X display {name}")

    def close(self):
        if self._display:
            _lib.XCloseDisplay(self._display)
            self._display = None

    def atom(self, name):
        return _lib.XInternAtom(self._display, name.encode(), 0)

    def root(self):
        return _lib.XDefaultRootWindow(self._display)

    def selectionOwner(self, name):
        _lib.XSync(self._display, 0)
        return _lib.XGetSelectionOwner(self._display, self.atom(name))

    def children(self, window):
        root, parent = Window(), Window()
        kids = ctypes.POINTER(Window)()
        count = ctypes.c_uint()
        if not _lib.XQueryTree(self._display, window, ctypes.byref(root), ctypes.byref(parent),
                               ctypes.byref(kids), ctypes.byref(count)):
            return []
        result = [kids[i] for i in range(count.value)]
        if kids:
            _lib.XFree(kids)
        return result

    def parent(self, window):
        root, parent = Window(), Window()
        kids = ctypes.POINTER(Window)()
        count = ctypes.c_uint()
        if not _lib.XQueryTree(self._display, window, ctypes.byref(root), ctypes.byref(parent),
                               ctypes.byref(kids), ctypes.byref(count)):
            return None
        if kids:
            _lib.XFree(kids)
        return parent.value

    def descendants(self, window):
        found = []
        for child in self.children(window):
            found.append(child)
            found.extend(self.descendants(child))
        return found

    def _property(self, window, name, type_name):
        actualType, actualFormat = Atom(), ctypes.c_int()
        items, after = ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.c_void_p()
        status = _lib.XGetWindowProperty(self._display, window, self.atom(name), 0, 1024, 0,
                                         self.atom(type_name), ctypes.byref(actualType),
                                         ctypes.byref(actualFormat), ctypes.byref(items),
                                         ctypes.byref(after), ctypes.byref(data))
        if status != 0 or not data.value:
            return None, 0, 0
        return data, actualFormat.value, items.value

    def cardinal(self, window, name, type_name="CARDINAL"):
        data, fmt, count = self._property(window, name, type_name)
        if data is None:
            return None
        try:
            if fmt != 32 or count < 1:
                return None
            # format 32 properties are handed out as C longs
            return ctypes.cast(data, ctypes.POINTER(ctypes.c_long))[0]
        finally:
            _lib.XFree(data)

    def text(self, window, name, type_name="STRING"):
        data, fmt, count = self._property(window, name, type_name)
        if data is None:
            return None
        try:
            if fmt != 8:
                return None
            return ctypes.string_at(data, count).decode("utf-8", "replace")
        finally:
            _lib.XFree(data)

    def wmClass(self, window):
        value = self.text(window, "WM_CLASS")
        return tuple(value.split("\0")[:2]) if value else None

    def isOverrideRedirect(self, window):
        attributes = _WindowAttributes()
        if not _lib.XGetWindowAttributes(self._display, window, ctypes.byref(attributes)):
            return False
        return bool(attributes.override_redirect)

    def isViewable(self, window):
        attributes = _WindowAttributes()
        if not _lib.XGetWindowAttributes(self._display, window, ctypes.byref(attributes)):
            return False
        return attributes.map_state == IS_VIEWABLE

    def geometry(self, window):
        """Position on the screen and size: x, y, width, height."""
        attributes = _WindowAttributes()
        if not _lib.XGetWindowAttributes(self._display, window, ctypes.byref(attributes)):
            return None
        x, y, child = ctypes.c_int(), ctypes.c_int(), Window()
        if not _lib.XTranslateCoordinates(self._display, window, self.root(), 0, 0,
                                          ctypes.byref(x), ctypes.byref(y), ctypes.byref(child)):
            return None
        return x.value, y.value, attributes.width, attributes.height
