// Checks of the engine object that the plugin's tests make on every
// platform, against whichever library and COM runtime they drive.
#pragma once

#include "com/com_ptr.h"
#include "com/sdk.h"

#include <gtest/gtest.h>

namespace zelvan_tts::sapi_test {

// The fixed output format (16-bit mono PCM at 48000 Hz, whatever the
// platform asks for), and E_POINTER for either missing out-parameter.
inline void expect_output_format(ISpTTSEngine* engine) {
    GUID format_id{};
    WAVEFORMATEX* format = nullptr;
    EXPECT_EQ(engine->GetOutputFormat(nullptr, nullptr, nullptr, &format), E_POINTER);
    EXPECT_EQ(engine->GetOutputFormat(nullptr, nullptr, &format_id, nullptr), E_POINTER);
    ASSERT_EQ(engine->GetOutputFormat(&SPDFID_WaveFormatEx, nullptr, &format_id, &format), S_OK);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format_id, SPDFID_WaveFormatEx);
    EXPECT_EQ(format->wFormatTag, 1);  // PCM
    EXPECT_EQ(format->nChannels, 1);
    EXPECT_EQ(format->nSamplesPerSec, 48000u);
    EXPECT_EQ(format->nAvgBytesPerSec, 96000u);
    EXPECT_EQ(format->nBlockAlign, 2);
    EXPECT_EQ(format->wBitsPerSample, 16);
    EXPECT_EQ(format->cbSize, 0);
    CoTaskMemFree(format);
}

// The engine's two interface pointers are one object: distinct pointers,
// one reference count, one IUnknown. The caller holds exactly one reference
// through each.
inline void expect_one_object(ISpTTSEngine* engine, ISpObjectWithToken* with_token) {
    EXPECT_NE(static_cast<void*>(with_token), static_cast<void*>(engine));
    // engine + with_token = 2; AddRef through either counts on the same object.
    EXPECT_EQ(with_token->AddRef(), 3u);
    EXPECT_EQ(engine->AddRef(), 4u);
    EXPECT_EQ(engine->Release(), 3u);
    EXPECT_EQ(with_token->Release(), 2u);

    com::ptr<IUnknown> unknown;
    ASSERT_EQ(with_token->QueryInterface(IID_IUnknown, unknown.receive_void()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(engine));
}

// A new engine holds no token and refuses a null one.
inline void expect_no_token(ISpObjectWithToken* with_token) {
    ISpObjectToken* token = reinterpret_cast<ISpObjectToken*>(1);
    EXPECT_EQ(with_token->GetObjectToken(&token), E_UNEXPECTED);
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(with_token->GetObjectToken(nullptr), E_POINTER);
    EXPECT_EQ(with_token->SetObjectToken(nullptr), E_INVALIDARG);
}

}  // namespace zelvan_tts::sapi_test
