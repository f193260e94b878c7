"""The exceptions of the package: one per status of the C library, each
carrying the library's message."""


class Error(Exception):
    """A call into libzelvan_tts failed; `status` is the library's code."""

    status = None

    def __init__(self, message, status=None):
        super().__init__(message)
        if status is not None:
            self.status = status


class InvalidArgumentError(Error, ValueError):
    """A voice outside the table, a speed that is not a number, SSML with a
    DOCTYPE, ..."""
    status = 2


class ModelNotFoundError(Error):
    """No voice model where the engine looked for it."""
    status = 3


class ModelError(Error):
    """The voice model could not be loaded, or failed while speaking."""
    status = 4


class InternalError(Error):
    """Anything else that went wrong inside the engine."""
    status = 5


class CancelledError(Error):
    """The synthesis was stopped by Engine.cancel() or by closing the engine."""
    status = 1


class LibraryNotFoundError(OSError):
    """libzelvan_tts could not be found or loaded."""


_BY_STATUS = {cls.status: cls for cls in
              (CancelledError, InvalidArgumentError, ModelNotFoundError, ModelError, InternalError)}


def from_status(status, message):
    """The exception for a status other than OK."""
    return _BY_STATUS.get(status, Error)(message or f"zelvan_tts status {status}", status)
