// The COM, registry and speech-platform declarations the voice engine uses:
// types, interfaces in their published slot order, identifiers, error codes
// and the runtime calls. The Windows build takes them from the SDK headers
// (mingw-w64's <sapi.h>) and adds the engine-side part those headers lack;
// elsewhere everything is declared here and the stand-in speech platform
// supplies the calls.
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max stay usable
#endif
#include <windows.h>
// After <windows.h>, which they build on:
#include <objbase.h>
#include <ole2.h>
#include <sapi.h>
#include <sperror.h>

// Published error codes and event-interest helpers that mingw-w64's headers
// lack.

#ifndef SPERR_NO_MORE_ITEMS
#define SPERR_NO_MORE_ITEMS MAKE_SAPI_ERROR(0x0039)
#endif
static_assert(SPERR_NO_MORE_ITEMS == static_cast<HRESULT>(0x80045039), "published value");
static_assert(SPERR_NOT_FOUND == static_cast<HRESULT>(0x8004503A), "published value");

#ifndef SPFEI_FLAGCHECK
// Bits of an event-interest mask; the two reserved flag-check bits are
// always set.
constexpr ULONGLONG SPFEI_FLAGCHECK = (1ULL << 30) | (1ULL << 33);
constexpr ULONGLONG SPFEI(SPEVENTENUM e) { return (1ULL << e) | SPFEI_FLAGCHECK; }
#endif

// The other identifiers come from mingw-w64's sapi and uuid libraries, except
// SPDFID_WaveFormatEx, which <sapi.h> declares and sdk.cpp defines.

#else

#include <cstddef>
#include <cstdint>
#include <cstring>

using HRESULT = std::int32_t;
using LSTATUS = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using LANGID = std::uint16_t;
using ULONGLONG = std::uint64_t;
using WCHAR = char16_t;  // UTF-16 code unit, as on Windows
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using REGSAM = DWORD;
using HWND = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using LPVOID = void*;

#define STDMETHODCALLTYPE
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

// HRESULTs
constexpr HRESULT hresult_of(std::uint32_t code) { return static_cast<HRESULT>(code); }
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hresult_of(0x80004001);
constexpr HRESULT E_NOINTERFACE = hresult_of(0x80004002);
constexpr HRESULT E_POINTER = hresult_of(0x80004003);
constexpr HRESULT E_FAIL = hresult_of(0x80004005);
constexpr HRESULT E_UNEXPECTED = hresult_of(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = hresult_of(0x8007000E);
constexpr HRESULT E_INVALIDARG = hresult_of(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = hresult_of(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresult_of(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = hresult_of(0x80040154);
constexpr HRESULT SPERR_NO_MORE_ITEMS = hresult_of(0x80045039);
constexpr HRESULT SPERR_NOT_FOUND = hresult_of(0x8004503A);

// Registry
struct HKEY__;
using HKEY = HKEY__*;
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});
constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_READ = 0x20019;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// COM
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_ALL = 0x17;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                                     void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
};

// Audio format
#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "the published layout is packed");
constexpr WORD WAVE_FORMAT_PCM = 1;

// Speech platform
struct ISpObjectTokenCategory;

struct ISpDataKey : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetData(LPCWSTR value_name, ULONG size, const BYTE* data) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetData(LPCWSTR value_name, ULONG* size, BYTE* data) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStringValue(LPCWSTR value_name, LPCWSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStringValue(LPCWSTR value_name, LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDWORD(LPCWSTR value_name, DWORD value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDWORD(LPCWSTR value_name, DWORD* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenKey(LPCWSTR subkey_name, ISpDataKey** subkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateKey(LPCWSTR subkey_name, ISpDataKey** subkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteKey(LPCWSTR subkey_name) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR value_name) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumKeys(ULONG index, LPWSTR* subkey_name) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumValues(ULONG index, LPWSTR* value_name) = 0;
};

struct ISpObjectToken : ISpDataKey {
    virtual HRESULT STDMETHODCALLTYPE SetId(LPCWSTR category_id, LPCWSTR token_id,
                                            BOOL create_if_not_exist) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetId(LPWSTR* token_id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCategory(ISpObjectTokenCategory** category) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, DWORD context, REFIID riid,
                                                     void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStorageFileName(REFCLSID caller, LPCWSTR value_name,
                                                         LPCWSTR file_name_specifier, ULONG folder,
                                                         LPWSTR* file_path) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveStorageFileName(REFCLSID caller, LPCWSTR key_name,
                                                            BOOL delete_file) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(const CLSID* caller) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsUISupported(LPCWSTR type_of_ui, void* extra_data,
                                                    ULONG extra_size, IUnknown* object,
                                                    BOOL* supported) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisplayUI(HWND parent, LPCWSTR title, LPCWSTR type_of_ui,
                                                void* extra_data, ULONG extra_size,
                                                IUnknown* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE MatchesAttributes(LPCWSTR attributes, BOOL* matches) = 0;
};

struct ISpObjectTokenInit : ISpObjectToken {
    virtual HRESULT STDMETHODCALLTYPE InitFromDataKey(LPCWSTR category_id, LPCWSTR token_id,
                                                      ISpDataKey* data_key) = 0;
};

struct IEnumSpObjectTokens : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, ISpObjectToken** tokens,
                                           ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumSpObjectTokens** clone) = 0;
    virtual HRESULT STDMETHODCALLTYPE Item(ULONG index, ISpObjectToken** token) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) = 0;
};

struct ISpObjectWithToken : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetObjectToken(ISpObjectToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectToken(ISpObjectToken** token) = 0;
};

enum SPEVENTENUM {
    SPEI_UNDEFINED = 0,
    SPEI_START_INPUT_STREAM = 1,
    SPEI_END_INPUT_STREAM = 2,
    SPEI_VOICE_CHANGE = 3,
    SPEI_TTS_BOOKMARK = 4,
    SPEI_WORD_BOUNDARY = 5,
    SPEI_PHONEME = 6,
    SPEI_SENTENCE_BOUNDARY = 7,
    SPEI_VISEME = 8,
    SPEI_TTS_AUDIO_LEVEL = 9,
    SPEI_TTS_PRIVATE = 15,
};

enum SPEVENTLPARAMTYPE {
    SPET_LPARAM_IS_UNDEFINED = 0,
    SPET_LPARAM_IS_TOKEN = 1,
    SPET_LPARAM_IS_OBJECT = 2,
    SPET_LPARAM_IS_POINTER = 3,
    SPET_LPARAM_IS_STRING = 4,
};

struct SPEVENT {
    SPEVENTENUM eEventId : 16;
    SPEVENTLPARAMTYPE elParamType : 16;
    ULONG ulStreamNum;
    ULONGLONG ullAudioStreamOffset;
    WPARAM wParam;
    LPARAM lParam;
};

// Bits of an event-interest mask; the two flag-check bits are always set.
constexpr ULONGLONG SPFEI_FLAGCHECK = (1ULL << 30) | (1ULL << 33);
constexpr ULONGLONG SPFEI(SPEVENTENUM e) { return (1ULL << e) | SPFEI_FLAGCHECK; }

enum SPVACTIONS {
    SPVA_Speak = 0,
    SPVA_Silence = 1,
    SPVA_Pronounce = 2,
    SPVA_Bookmark = 3,
    SPVA_SpellOut = 4,
    SPVA_Section = 5,
    SPVA_ParseUnknownTag = 6,
};

enum SPPARTOFSPEECH { SPPS_NotOverriden = -1, SPPS_Unknown = 0 };

using SPPHONEID = WCHAR;

struct SPVPITCH {
    LONG MiddleAdj;
    LONG RangeAdj;
};

struct SPVCONTEXT {
    LPCWSTR pCategory;
    LPCWSTR pBefore;
    LPCWSTR pAfter;
};

struct SPVSTATE {
    SPVACTIONS eAction;
    LANGID LangID;
    WORD wReserved;
    LONG EmphAdj;
    LONG RateAdj;
    ULONG Volume;
    SPVPITCH PitchAdj;
    ULONG SilenceMSecs;
    SPPHONEID* pPhoneIds;
    SPPARTOFSPEECH ePartOfSpeech;
    SPVCONTEXT Context;
};

struct ISpEventSink : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventInterest(ULONGLONG* interest) = 0;
};

// Published identifiers
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ISpDataKey = {
    0x14056581, 0xE16C, 0x11D2, {0xBB, 0x90, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0xC0}};
inline constexpr IID IID_ISpObjectToken = {
    0x14056589, 0xE16C, 0x11D2, {0xBB, 0x90, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0xC0}};
inline constexpr IID IID_ISpObjectTokenInit = {
    0xB8AAB0CF, 0x346F, 0x49D8, {0x94, 0x99, 0xC8, 0xB0, 0x3F, 0x16, 0x1D, 0x51}};
inline constexpr IID IID_IEnumSpObjectTokens = {
    0x06B64F9E, 0x7FDA, 0x11D2, {0xB4, 0xF2, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
inline constexpr IID IID_ISpObjectWithToken = {
    0x5B559F40, 0xE952, 0x11D2, {0xBB, 0x91, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0xC0}};
inline constexpr IID IID_ISpEventSink = {
    0xBE7A9CC9, 0x5F9E, 0x11D2, {0x96, 0x0F, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0x28}};
inline constexpr CLSID CLSID_SpObjectToken = {
    0xEF411752, 0x3736, 0x4CB4, {0x9C, 0x8C, 0x8E, 0xF4, 0xCC, 0xB5, 0x8E, 0xFE}};
inline constexpr GUID SPDFID_WaveFormatEx = {
    0xC31ADBAE, 0x527F, 0x4FF5, {0xA2, 0x30, 0xF6, 0x2B, 0xB6, 0x1F, 0xF7, 0x0C}};
inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// The runtime calls, supplied by the stand-in speech platform's runtime
// library (ole32 and advapi32 on Windows).
extern "C" {
void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* block);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);
HRESULT OleRun(IUnknown* object);
HRESULT StringFromCLSID(REFCLSID clsid, LPWSTR* text);

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subkey, DWORD reserved, LPWSTR key_class, DWORD options,
                        REGSAM access, void* security, HKEY* result, DWORD* disposition);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subkey, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subkey);
LSTATUS RegCloseKey(HKEY key);
}

#endif

// The engine side of the platform (published in sapiddk.h, which neither
// mingw-w64 nor the stand-in platform provide): the engine and its output
// site, the text fragments, and the actions and skip types of the site.

typedef struct SPVTEXTFRAG {
    struct SPVTEXTFRAG* pNext;
    SPVSTATE State;
    LPCWSTR pTextStart;
    ULONG ulTextLen;
    ULONG ulTextSrcOffset;
} SPVTEXTFRAG;

typedef enum SPVESACTIONS {
    SPVES_CONTINUE = 0,
    SPVES_ABORT = 1,
    SPVES_SKIP = 2,
    SPVES_RATE = 4,
    SPVES_VOLUME = 8,
} SPVESACTIONS;

typedef enum SPVSKIPTYPE { SPVST_SENTENCE = 1 } SPVSKIPTYPE;

struct ISpTTSEngineSite : public ISpEventSink {
    virtual DWORD STDMETHODCALLTYPE GetActions() = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRate(LONG* rate_adjust) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE* type, LONG* item_count) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompleteSkip(LONG skipped) = 0;
};

struct ISpTTSEngine : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Speak(DWORD flags, REFGUID format_id,
                                            const WAVEFORMATEX* wave_format,
                                            const SPVTEXTFRAG* fragments,
                                            ISpTTSEngineSite* site) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputFormat(const GUID* target_format_id,
                                                      const WAVEFORMATEX* target_wave_format,
                                                      GUID* format_id,
                                                      WAVEFORMATEX** wave_format) = 0;
};

inline constexpr IID IID_ISpTTSEngineSite = {
    0x9880499B, 0xCCE9, 0x11D2, {0xB5, 0x03, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
inline constexpr IID IID_ISpTTSEngine = {
    0xA74D7C8E, 0x4CC5, 0x4F2F, {0xA6, 0xEB, 0x80, 0x4D, 0xEE, 0x18, 0x50, 0x0E}};
