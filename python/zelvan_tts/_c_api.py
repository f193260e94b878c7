"""The C interface of libzelvan_tts (include/zelvan_tts.h) as ctypes sees it.

Only declarations and the loading of the library live here; engine.py
builds the Python interface on top.
"""

import ctypes
import ctypes.util
import os
import sys
import threading

from .errors import LibraryNotFoundError

SAMPLE_RATE = 48000

# zelvan_tts_status
OK = 0
CANCELLED = 1
INVALID_ARGUMENT = 2
MODEL_NOT_FOUND = 3
MODEL_FAILED = 4
INTERNAL_ERROR = 5

# zelvan_tts_stage_mode
STAGE_FOLLOW_SETTINGS = 0
STAGE_ON = 1
STAGE_OFF = 2

# zelvan_tts_event_type
EVENT_WORD = 3
EVENT_MARK = 4

# zelvan_tts_input_format
INPUT_TEXT = 0
INPUT_SSML = 1

# C enums are ints in every ABI the library is built for.
c_enum = ctypes.c_int

LOG_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p)
AUDIO_FN = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(ctypes.c_float),
                            ctypes.c_size_t)


class Voice(ctypes.Structure):
    _fields_ = [("key", ctypes.c_char_p), ("display_name", ctypes.c_char_p),
                ("language", ctypes.c_char_p), ("language_id", ctypes.c_uint16)]


class EngineParams(ctypes.Structure):
    _fields_ = [("models_root", ctypes.c_char_p), ("threads", ctypes.c_int),
                ("homographs", c_enum), ("stress", c_enum), ("log", LOG_FN),
                ("log_user_data", ctypes.c_void_p)]


class EngineOptions(ctypes.Structure):
    _fields_ = [("size", ctypes.c_size_t), ("params", EngineParams), ("reading", c_enum)]


class Request(ctypes.Structure):
    _fields_ = [("voice", ctypes.c_int), ("speed", ctypes.c_float), ("pitch", ctypes.c_float),
                ("volume", ctypes.c_float)]


class Word(ctypes.Structure):
    _fields_ = [("start", ctypes.c_double), ("end", ctypes.c_double),
                ("text_offset", ctypes.c_size_t), ("text_length", ctypes.c_size_t)]


WORD_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(Word))


class Callbacks(ctypes.Structure):
    _fields_ = [("audio", AUDIO_FN), ("word", WORD_FN), ("user_data", ctypes.c_void_p)]


class Event(ctypes.Structure):
    _fields_ = [("size", ctypes.c_size_t), ("type", c_enum), ("sample", ctypes.c_uint64),
                ("end_sample", ctypes.c_uint64), ("text_offset", ctypes.c_size_t),
                ("text_length", ctypes.c_size_t), ("text", ctypes.c_char_p)]


EVENT_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(Event))


class SynthesisOptions(ctypes.Structure):
    _fields_ = [("size", ctypes.c_size_t), ("event", EVENT_FN),
                ("event_user_data", ctypes.c_void_p), ("input", c_enum)]


# name: (result type, argument types); the 1.1 functions may be missing.
_PROTOTYPES = {
    "zelvan_tts_version": (ctypes.c_char_p, []),
    "zelvan_tts_last_error": (ctypes.c_char_p, []),
    "zelvan_tts_voice_count": (ctypes.c_int, []),
    "zelvan_tts_voice_info": (c_enum, [ctypes.c_int, ctypes.POINTER(Voice)]),
    "zelvan_tts_find_voice": (ctypes.c_int, [ctypes.c_char_p]),
    "zelvan_tts_default_params": (EngineParams, []),
    "zelvan_tts_engine_open": (c_enum, [ctypes.POINTER(EngineParams),
                                        ctypes.POINTER(ctypes.c_void_p)]),
    "zelvan_tts_engine_open_with_options": (c_enum, [ctypes.POINTER(EngineOptions),
                                                     ctypes.POINTER(ctypes.c_void_p)]),
    "zelvan_tts_engine_close": (None, [ctypes.c_void_p]),
    "zelvan_tts_engine_report": (ctypes.c_size_t, [ctypes.c_void_p, ctypes.c_char_p,
                                                   ctypes.c_size_t]),
    "zelvan_tts_default_request": (Request, []),
    "zelvan_tts_synthesize": (c_enum, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t,
                                       ctypes.POINTER(Request), ctypes.POINTER(Callbacks)]),
    "zelvan_tts_synthesize_with_options": (c_enum, [
        ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(Request),
        ctypes.POINTER(Callbacks), ctypes.POINTER(SynthesisOptions)]),
    "zelvan_tts_cancel": (None, [ctypes.c_void_p]),
}

LIBRARY_VARIABLE = "ZELVAN_TTS_LIBRARY"


def _candidates():
    if sys.platform == "win32":
        return ["zelvan_tts.dll", "libzelvan_tts.dll"]
    if sys.platform == "darwin":
        return ["libzelvan_tts.1.dylib", "libzelvan_tts.dylib"]
    # The soname first: the runtime package of a distribution ships only it.
    names = ["libzelvan_tts.so.1", "libzelvan_tts.so"]
    found = ctypes.util.find_library("zelvan_tts")
    if found and found not in names:
        names.append(found)
    return names


def _declare(lib):
    for name, (restype, argtypes) in _PROTOTYPES.items():
        function = getattr(lib, name, None)
        if function is not None:
            function.restype = restype
            function.argtypes = argtypes
    return lib


_loaded = {}
_loading = threading.Lock()


def load(path=None):
    """The library at `path`, else at $ZELVAN_TTS_LIBRARY, else wherever the
    system's loader finds it; each file is loaded once."""
    path = path or os.environ.get(LIBRARY_VARIABLE) or None
    with _loading:
        if path in _loaded:
            return _loaded[path]
        if path is not None:
            try:
                lib = ctypes.CDLL(os.fspath(path))
            except OSError as e:
                raise LibraryNotFoundError(f"cannot load {path}: {e}") from None
        else:
            lib = None
            for name in _candidates():
                try:
                    lib = ctypes.CDLL(name)
                    break
                except OSError:
                    continue
            if lib is None:
                raise LibraryNotFoundError(
                    "libzelvan_tts not found: pass library=PATH or set "
                    f"{LIBRARY_VARIABLE} to the library's path")
        if not hasattr(lib, "zelvan_tts_synthesize"):
            raise LibraryNotFoundError(f"{path or lib._name} is not libzelvan_tts")
        _loaded[path] = _declare(lib)
        return _loaded[path]
