"""Engine, speak() and stream() over libzelvan_tts.

Audio comes back as float32 samples in [-1, 1] at 48 kHz, mono: a numpy
array when numpy is installed, else the samples' bytes in the machine's
order. Offsets into the text are characters of the Python str; the library
counts UTF-8 bytes, and this module converts.
"""

import array
import bisect
import ctypes
import os
import queue
import sys
import threading
import wave
import weakref
from typing import List, NamedTuple

from . import _c_api as c
from .errors import CancelledError, InvalidArgumentError, from_status

try:
    import numpy
except ImportError:  # bytes instead of arrays
    numpy = None

SAMPLE_RATE = c.SAMPLE_RATE

# Given names of the voice table that are women's names; the library's voice
# record has no gender.
_WOMEN = frozenset((
    "aysel", "gulnara", "aigul", "zilya", "alesya", "narspi", "litova", "anush", "nino",
    "aidana", "zalina", "sulu", "alsu", "zarni", "oksana", "saglar", "zarina", "dilnoza",
    "sardana"))


class Voice(NamedTuple):
    index: int
    name: str          # the key: "ru_azat"
    display_name: str  # "Azat (Russian)"
    language: str      # ISO 639-3: "rus"
    gender: str        # "female" or "male"


class Word(NamedTuple):
    text: str      # the caller's text the word comes from ("250" for each word of it)
    offset: int    # characters into the caller's text (or SSML document)
    length: int    # characters
    start: float   # seconds from the start of the audio
    end: float


class Mark(NamedTuple):
    name: str
    offset: int    # characters into the SSML document: the mark's element
    time: float    # seconds: the start of the word after it, else the end of the audio


class Speech(NamedTuple):
    audio: object  # numpy.ndarray of float32, or bytes of float32 samples
    words: List[Word]
    marks: List[Mark]
    sample_rate: int = SAMPLE_RATE

    @property
    def duration(self):
        return _sample_count(self.audio) / self.sample_rate

    def write_wav(self, path):
        """Writes the audio as a 16-bit mono WAV file."""
        write_wav(path, self.audio, self.sample_rate)


def _sample_count(audio):
    return len(audio) // 4 if isinstance(audio, (bytes, bytearray)) else len(audio)


def write_wav(path, audio, sample_rate=SAMPLE_RATE):
    """Writes float samples (an array or their bytes) as a 16-bit mono WAV file."""
    if numpy is not None:
        samples = numpy.frombuffer(audio, numpy.float32) if isinstance(audio, (bytes, bytearray)) \
            else numpy.asarray(audio, numpy.float32)
        scaled = numpy.clip(samples.astype(numpy.float64), -1.0, 1.0) * 32767.0
        pcm = numpy.rint(scaled).astype("<i2").tobytes()
    else:
        floats = array.array("f")
        floats.frombytes(bytes(audio))
        pcm_array = array.array("h", (round(max(-1.0, min(1.0, x)) * 32767.0) for x in floats))
        if sys.byteorder == "big":
            pcm_array.byteswap()
        pcm = pcm_array.tobytes()
    with wave.open(os.fspath(path), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(sample_rate)
        out.writeframes(pcm)


def _text(value):
    if value is None:
        return ""
    return value.decode("utf-8", "replace") if isinstance(value, bytes) else value


def _check(lib, status):
    if status != c.OK:
        raise from_status(status, _text(lib.zelvan_tts_last_error()))


def voices(library=None):
    """The voices of the library: a list of Voice, by index."""
    return _voices(c.load(library))


def _voices(lib):
    result = []
    for index in range(lib.zelvan_tts_voice_count()):
        info = c.Voice()
        _check(lib, lib.zelvan_tts_voice_info(index, ctypes.byref(info)))
        key = _text(info.key)
        given = key.partition("_")[2].rstrip("0123456789")
        result.append(Voice(index, key, _text(info.display_name), _text(info.language),
                            "female" if given in _WOMEN else "male"))
    return result


class _Offsets:
    """Turns byte offsets of the UTF-8 text into character offsets of the str."""

    def __init__(self, text):
        self.text = text
        self.data = text.encode("utf-8", "surrogatepass")
        self._starts = None
        if len(self.data) != len(text):
            starts, position = [], 0
            for ch in text:
                starts.append(position)
                code = ord(ch)
                position += 1 if code < 0x80 else 2 if code < 0x800 else 3 if code < 0x10000 else 4
            self._starts = starts

    def span(self, offset, length):
        """(first character, character count) of the bytes [offset, offset + length)."""
        if self._starts is None:
            first, last = offset, offset + length
        else:
            # A byte inside a character counts as that character.
            first = max(bisect.bisect_right(self._starts, offset) - 1, 0)
            last = bisect.bisect_left(self._starts, offset + length)
        first, last = min(first, len(self.text)), min(last, len(self.text))
        return first, max(last - first, 0)


def _stage_mode(value):
    if value is None:
        return c.STAGE_FOLLOW_SETTINGS
    return c.STAGE_ON if value else c.STAGE_OFF


class Engine:
    """One loaded voice model. Several threads may use one engine: its
    syntheses run one at a time.

    models:  the models root (the folder with tts/multivoice_base.bin,
             accentor/, homosolver/); None: the library's own search
             ($ZELVAN_TTS_MODEL_PATH, else models/ beside the library).
    library: the path of libzelvan_tts; None: $ZELVAN_TTS_LIBRARY, else the
             system's search.
    threads: threads of the voice model, 0 for LibTorch's default.
    homographs, stress, reading: True on, False off, None as the user's
             settings say.
    log:     a function receiving each diagnostic line of the engine.
    """

    def __init__(self, models=None, *, library=None, threads=0, homographs=None, stress=None,
                 reading=None, log=None):
        self._lib = c.load(library)
        self._handle = None
        self._cond = threading.Condition()
        self._serial = threading.Lock()  # held around each synthesis
        self._busy = 0
        self._closing = False
        self._current = None  # the token of the synthesis inside the library now
        self._streams = weakref.WeakSet()

        params = self._lib.zelvan_tts_default_params()
        if models is not None:
            params.models_root = os.fsencode(models)
        params.threads = threads
        params.homographs = _stage_mode(homographs)
        params.stress = _stage_mode(stress)
        if log is not None:
            def on_log(_user_data, line):
                try:
                    log(_text(line))
                except Exception:  # a broken log function must not stop the speech
                    pass
            self._log = c.LOG_FN(on_log)  # kept alive as long as the engine
            params.log = self._log
        handle = ctypes.c_void_p()
        if hasattr(self._lib, "zelvan_tts_engine_open_with_options"):
            options = c.EngineOptions(ctypes.sizeof(c.EngineOptions), params, _stage_mode(reading))
            status = self._lib.zelvan_tts_engine_open_with_options(ctypes.byref(options),
                                                                   ctypes.byref(handle))
        elif reading is not None:
            raise InvalidArgumentError("This library has no reading switch")
        else:
            status = self._lib.zelvan_tts_engine_open(ctypes.byref(params), ctypes.byref(handle))
        _check(self._lib, status)
        self._handle = handle.value

    # ---- life -----------------------------------------------------------------

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    @property
    def closed(self):
        return self._handle is None

    def close(self):
        """Stops what runs, waits for it and frees the engine; a second
        close does nothing."""
        with self._cond:
            if self._handle is None or self._closing:
                return
            self._closing = True
            self._cancel_current()
        for stream in list(self._streams):
            stream.close(CancelledError("The engine was closed", c.CANCELLED))
        with self._cond:
            while self._busy:
                self._cancel_current()
                self._cond.wait(0.05)
            handle, self._handle = self._handle, None
        self._lib.zelvan_tts_engine_close(handle)

    def _enter(self):
        with self._cond:
            if self._handle is None or self._closing:
                raise ValueError("The engine is closed")
            self._busy += 1

    def _leave(self):
        with self._cond:
            self._busy -= 1
            self._cond.notify_all()

    def _cancel_current(self, token=None):
        # Under _cond: _current names the synthesis inside the library, so a
        # cancel never reaches another caller's synthesis.
        if self._current is not None and (token is None or self._current is token):
            cancel = getattr(self._lib, "zelvan_tts_cancel", None)
            if cancel is not None:
                cancel(self._handle)

    def cancel(self):
        """Stops the synthesis that runs now (from any thread); it raises
        CancelledError in its caller. With none running, nothing happens."""
        with self._cond:
            if self._handle is not None:
                self._cancel_current()

    # ---- information ------------------------------------------------------------

    @property
    def version(self):
        return _text(self._lib.zelvan_tts_version())

    def voices(self):
        return _voices(self._lib)

    def report(self):
        """What the engine loaded, one line each (`zelvan_tts info`)."""
        self._enter()
        try:
            size = self._lib.zelvan_tts_engine_report(self._handle, None, 0)
            buffer = ctypes.create_string_buffer(size + 1)
            self._lib.zelvan_tts_engine_report(self._handle, buffer, size + 1)
            return _text(buffer.value)
        finally:
            self._leave()

    # ---- speaking ----------------------------------------------------------------

    def speak(self, text, voice=None, speed=1.0, pitch=1.0, volume=1.0, ssml=False):
        """Speaks `text` (an SSML document when `ssml`) and returns a Speech:
        the audio, the words with their times and, for SSML, the marks."""
        blocks, words, marks = [], [], []
        prepared = self._prepare(text, voice, speed, pitch, volume, ssml)
        self._enter()
        try:
            self._synthesize(prepared, blocks.append, words.append, marks.append,
                             threading.Event(), object())
        finally:
            self._leave()
        if numpy is not None:
            audio = numpy.concatenate(blocks) if blocks else numpy.zeros(0, numpy.float32)
        else:
            audio = b"".join(blocks)
        return Speech(audio, words, marks)

    def stream(self, text, voice=None, speed=1.0, pitch=1.0, volume=1.0, ssml=False):
        """Speaks `text` on a worker thread and returns an iterator over the
        audio blocks as they are made; its `words` and `marks` grow as the
        speech goes (a sentence's words come before its audio). Closing it
        early (close(), leaving a `with` block, dropping it) stops the
        synthesis."""
        return SpeechStream(self, self._prepare(text, voice, speed, pitch, volume, ssml))

    def _prepare(self, text, voice, speed, pitch, volume, ssml):
        """What a synthesis needs, checked before it starts: the text and
        its offsets, the request and the input format."""
        if not isinstance(text, str):
            raise TypeError("text must be a str")
        if ssml and not hasattr(self._lib, "zelvan_tts_synthesize_with_options"):
            raise InvalidArgumentError("This library does not read SSML")
        request = self._lib.zelvan_tts_default_request()
        if isinstance(voice, str):
            index = self._lib.zelvan_tts_find_voice(voice.encode("utf-8"))
            if index < 0:
                raise InvalidArgumentError(f'No voice named "{voice}"')
            request.voice = index
        elif voice is not None:
            request.voice = int(voice)
        request.speed, request.pitch, request.volume = speed, pitch, volume
        return _Offsets(text), request, c.INPUT_SSML if ssml else c.INPUT_TEXT

    def _synthesize(self, prepared, on_audio, on_word, on_mark, stop, token):
        """Runs one synthesis on the calling thread: on_audio receives each
        block, on_word each Word, on_mark each Mark; `stop` set stops it."""
        offsets, request, input_format = prepared
        text = offsets.text
        failure = []  # an exception raised inside a callback

        def guarded(function):
            def call(*args):
                try:
                    return function(*args)
                except BaseException as e:  # ctypes would only print it
                    failure.append(e)
                    stop.set()
                    return 1
            return call

        @guarded
        def audio(_user_data, samples, count):
            if stop.is_set() or self._closing:
                return 1
            if count == 0:
                return 0
            if numpy is not None:
                block = numpy.ctypeslib.as_array(samples, shape=(count,)).copy()
            else:
                block = ctypes.string_at(samples, count * 4)
            return 1 if on_audio(block) is False else 0

        @guarded
        def word(_user_data, w):
            w = w.contents
            first, length = offsets.span(w.text_offset, w.text_length)
            on_word(Word(text[first:first + length], first, length, w.start, w.end))

        @guarded
        def event(_user_data, e):
            e = e.contents
            if e.type == c.EVENT_MARK:
                first, _ = offsets.span(e.text_offset, e.text_length)
                on_mark(Mark(_text(e.text), first, e.sample / SAMPLE_RATE))

        audio_fn, word_fn, event_fn = c.AUDIO_FN(audio), c.WORD_FN(word), c.EVENT_FN(event)
        callbacks = c.Callbacks(audio_fn, word_fn, None)
        with_options = getattr(self._lib, "zelvan_tts_synthesize_with_options", None)

        with self._serial:
            with self._cond:
                self._current = token
            try:
                if stop.is_set() or self._closing:
                    status = c.CANCELLED
                elif with_options is not None:
                    options = c.SynthesisOptions(ctypes.sizeof(c.SynthesisOptions), event_fn, None,
                                                 input_format)
                    status = with_options(self._handle, offsets.data, len(offsets.data),
                                          ctypes.byref(request), ctypes.byref(callbacks),
                                          ctypes.byref(options))
                else:
                    status = self._lib.zelvan_tts_synthesize(
                        self._handle, offsets.data, len(offsets.data), ctypes.byref(request),
                        ctypes.byref(callbacks))
                # The message belongs to this thread's last call: read it now.
                message = _text(self._lib.zelvan_tts_last_error()) if status != c.OK else ""
            finally:
                with self._cond:
                    self._current = None
        if failure:
            raise failure[0]
        if status == c.CANCELLED and self._closing:
            raise CancelledError("The engine was closed", c.CANCELLED)
        if status != c.OK:
            raise from_status(status, message)


_END = object()


def _stream_worker(engine, prepared, blocks, words, marks, stop, token):
    # Holds no reference to its SpeechStream, so that dropping the stream
    # closes it.
    def put(item):
        while not stop.is_set():
            try:
                blocks.put(item, timeout=0.05)
                return True
            except queue.Full:
                continue
        return False

    outcome = _END
    try:
        engine._synthesize(prepared, put, words.append, marks.append, stop, token)
    except BaseException as e:
        outcome = e
    finally:
        engine._leave()
    put(outcome)


class SpeechStream:
    """The audio blocks of one synthesis as they are made (Engine.stream)."""

    _finished = True  # until the worker runs

    def __init__(self, engine, prepared):
        self._close_lock = threading.Lock()
        self.words: List[Word] = []
        self.marks: List[Mark] = []
        self._engine = engine
        self._blocks = queue.Queue(maxsize=16)  # the synthesis waits for a slow reader
        self._stop = threading.Event()
        self._token = object()
        engine._enter()
        engine._streams.add(self)
        self._thread = threading.Thread(
            target=_stream_worker, daemon=True, name="zelvan_tts stream",
            args=(engine, prepared, self._blocks, self.words,
                  self.marks, self._stop, self._token))
        self._finished = False
        self._thread.start()

    def __iter__(self):
        return self

    def __next__(self):
        if self._finished and self._blocks.empty():
            raise StopIteration
        item = self._blocks.get()
        if item is _END or isinstance(item, BaseException):
            self._finished = True
            self._thread.join()
            if item is _END:
                raise StopIteration
            raise item
        return item

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()

    def close(self, _reason=_END):
        """Stops the synthesis if it still runs and waits for its thread."""
        with self._close_lock:
            if not self._finished:
                self._close(_reason)

    def _close(self, reason):
        self._stop.set()
        engine = self._engine
        with engine._cond:
            engine._cancel_current(self._token)
        if threading.current_thread() is not self._thread:
            self._thread.join()
        # A reader waiting on another thread learns that the stream ended.
        while True:
            try:
                self._blocks.get_nowait()
            except queue.Empty:
                break
        self._blocks.put_nowait(reason)
        self._finished = True
