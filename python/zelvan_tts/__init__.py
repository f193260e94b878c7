"""Zelvan TTS from Python: text to 48 kHz speech with the time of every word,
over the C library libzelvan_tts.

    import zelvan_tts
    with zelvan_tts.Engine() as engine:
        speech = engine.speak("Привет, мир!", voice="ru_azat")
        speech.write_wav("hello.wav")
"""

from .engine import (SAMPLE_RATE, Engine, Mark, Speech, SpeechStream, Voice, Word, voices,
                     write_wav)
from .errors import (CancelledError, Error, InternalError, InvalidArgumentError,
                     LibraryNotFoundError, ModelError, ModelNotFoundError)

__version__ = "1.1.0"

__all__ = ["SAMPLE_RATE", "Engine", "Mark", "Speech", "SpeechStream", "Voice", "Word", "voices",
           "write_wav", "CancelledError", "Error", "InternalError", "InvalidArgumentError",
           "LibraryNotFoundError", "ModelError", "ModelNotFoundError"]
