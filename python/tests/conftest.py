# The tests speak with the library named by ZELVAN_TTS_LIBRARY and the models
# below ZELVAN_TTS_MODEL_PATH (CTest points both into the build tree).
import pytest

import zelvan_tts


@pytest.fixture(scope="session")
def engine():
    with zelvan_tts.Engine() as engine:
        yield engine
