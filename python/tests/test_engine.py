import gc
import math
import os
import shutil
import subprocess
import sys
import threading
import wave

import numpy
import pytest

import zelvan_tts
from zelvan_tts import engine as engine_module


def spans(words):
    return [(w.text, w.offset, w.length) for w in words]


@pytest.mark.parametrize("text, expected", [
    # Offsets count characters of the str, not UTF-8 bytes; both words of
    # a number spelled out point at the number.
    ("Ёж и 25 кошек.", [("Ёж", 0, 2), ("и", 3, 1), ("25", 5, 2), ("25", 5, 2),
                       ("кошек.", 8, 6)]),
    ("Hi мир", [("Hi", 0, 2), ("мир", 3, 3)]),
    ("", []),
])
def test_speak(engine, tmp_path, text, expected):
    speech = engine.speak(text, voice="ru_azat")
    assert spans(speech.words) == expected
    assert speech.audio.dtype == numpy.float32 and speech.sample_rate == 48000
    if not expected:
        assert len(speech.audio) == 0
        return
    assert 0.01 < numpy.abs(speech.audio).max() <= 1.0
    times = [t for w in speech.words for t in (w.start, w.end)]
    assert times == sorted(times) and times[-1] <= speech.duration

    path = tmp_path / "speech.wav"
    speech.write_wav(path)
    with wave.open(str(path)) as wav:
        assert (wav.getframerate(), wav.getnchannels(), wav.getsampwidth()) == (48000, 1, 2)
        assert wav.getnframes() == len(speech.audio)


def test_speak_without_numpy_gives_bytes(engine, monkeypatch, tmp_path):
    expected = engine.speak("Привет.")
    expected.write_wav(tmp_path / "numpy.wav")
    monkeypatch.setattr(engine_module, "numpy", None)
    speech = engine.speak("Привет.")
    assert isinstance(speech.audio, bytes) and speech.audio == expected.audio.tobytes()
    assert speech.duration == expected.duration
    speech.write_wav(tmp_path / "bytes.wav")
    assert (tmp_path / "bytes.wav").read_bytes() == (tmp_path / "numpy.wav").read_bytes()


def test_stream_gives_the_audio_and_words_of_speak(engine):
    text = "Первое предложение. Второе, чуть длиннее. Третье."
    whole = engine.speak(text, voice=21, speed=1.2)
    stream = engine.stream(text, voice=21, speed=1.2)
    blocks = list(stream)
    assert len(blocks) >= 3  # at least one block per sentence
    assert numpy.array_equal(numpy.concatenate(blocks), whole.audio)
    assert stream.words == whole.words


@pytest.mark.parametrize("stop", ["close", "with", "drop"])
def test_stream_closed_early_stops_the_synthesis(engine, stop):
    text = "Это длинный текст, который никто не дослушает. " * 40
    stream = engine.stream(text)
    first = next(stream)
    assert len(first) > 0
    thread = stream._thread
    if stop == "close":
        stream.close()
        assert list(stream) == []
    elif stop == "with":
        with stream:
            pass
    else:
        del stream
        gc.collect()
    assert not thread.is_alive()
    # The cancel reaches no later synthesis.
    assert spans(engine.speak("Да.").words) == [("Да.", 0, 3)]


def test_ssml_marks(engine):
    document = '<speak>Раз, <mark name="два"/>два. <mark name="конец"/></speak>'
    speech = engine.speak(document, ssml=True)
    assert spans(speech.words) == [("Раз,", 7, 4), ("два.", 30, 4)]
    assert [(m.name, m.offset) for m in speech.marks] == [("два", 12), ("конец", 35)]
    # A mark stands at the start of the word after it, else at the end.
    assert speech.marks[0].time == pytest.approx(speech.words[1].start, abs=1 / 48000)
    assert speech.marks[1].time == pytest.approx(speech.duration, abs=1 / 48000)


def test_voices():
    voices = zelvan_tts.voices()
    assert len(voices) == 60
    assert voices[0] == zelvan_tts.Voice(0, "aze_aysel", "Aysel (Azerbaijani)", "aze", "female")
    assert voices[20] == zelvan_tts.Voice(20, "ru_azat", "Azat (Russian)", "rus", "male")


def test_errors(engine, tmp_path, monkeypatch):
    cases = [
        (lambda: engine.speak("Да.", voice=60), zelvan_tts.InvalidArgumentError,
         "Voice index outside 0..59"),
        # A stream refuses what it can check before it starts.
        (lambda: engine.stream("Да.", voice="nobody"), zelvan_tts.InvalidArgumentError,
         'No voice named "nobody"'),
        (lambda: engine.speak("Да.", speed=math.nan), zelvan_tts.InvalidArgumentError,
         "Speed, pitch and volume must be numbers"),
        (lambda: list(engine.stream("Да.", pitch=math.inf)), zelvan_tts.InvalidArgumentError,
         "Speed, pitch and volume must be numbers"),
        (lambda: engine.speak('<!DOCTYPE s [<!ENTITY a "b">]><speak>&a;</speak>', ssml=True),
         zelvan_tts.InvalidArgumentError, "SSML with a document type or entities is refused"),
        (lambda: zelvan_tts.Engine(library=tmp_path / "none.so"),
         zelvan_tts.LibraryNotFoundError, "none.so"),
        (lambda: zelvan_tts.Engine(threads=-1), zelvan_tts.InvalidArgumentError,
         "Threads must not be negative"),
    ]
    for call, error, message in cases:
        with pytest.raises(error) as caught:
            call()
        assert message in str(caught.value)

    # A library with no models beside it, and none named. In a process of its
    # own: the engine library a process loads is shared by every copy of
    # libzelvan_tts in it, and takes its installation from the first.
    monkeypatch.delenv("ZELVAN_TTS_MODEL_PATH", raising=False)
    library = tmp_path / "bin" / "libzelvan_tts.so.1"
    library.parent.mkdir()
    shutil.copy(os.environ["ZELVAN_TTS_LIBRARY"], library)
    probe = (
        "import sys, zelvan_tts\n"
        "try:\n"
        "    zelvan_tts.Engine(sys.argv[1], library=sys.argv[2])\n"
        "except zelvan_tts.ModelNotFoundError as e:\n"
        "    print(e)\n"
    )
    result = subprocess.run([sys.executable, "-c", probe, str(tmp_path / "nowhere"), str(library)],
                            capture_output=True, text=True, check=True,
                            env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    assert "multivoice_base.bin" in result.stdout, result.stdout + result.stderr


def test_close_stops_a_speech_on_another_thread():
    engine = zelvan_tts.Engine()
    outcome = []
    started = threading.Event()

    def speak():
        try:
            for _ in engine.stream("Долгий текст. " * 200):
                started.set()
        except BaseException as e:
            outcome.append(e)

    thread = threading.Thread(target=speak)
    thread.start()
    started.wait()
    engine.close()
    thread.join()
    assert engine.closed
    assert [type(e) for e in outcome] == [zelvan_tts.CancelledError]
    with pytest.raises(ValueError):
        engine.speak("Да.")
