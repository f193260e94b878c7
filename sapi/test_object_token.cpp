#include "sapi/test_object_token.h"

#include "com/com_ptr.h"
#include "com/wide_string.h"

#include <atomic>
#include <new>

namespace zelvan_tts::sapi_test {

namespace {

constexpr HRESULT kUninitialized = static_cast<HRESULT>(0x80045001);  // SPERR_UNINITIALIZED
constexpr HRESULT kAlreadyInitialized =
    static_cast<HRESULT>(0x80045002);  // SPERR_ALREADY_INITIALIZED

std::atomic<long> live{0};

// Private interface id by which token_id and token_category recognise the
// stand-in among other tokens.
constexpr IID IID_stand_in = {
    0x6F1C2E0B, 0x51D4, 0x4A7E, {0x9B, 0x1E, 0x3C, 0x60, 0x2A, 0x77, 0x0D, 0x41}};

class object_token final : public ISpObjectTokenInit {
public:
    object_token() { live.fetch_add(1); }
    ~object_token() {
        if (key_ != nullptr) key_->Release();
        live.fetch_sub(1);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == IID_ISpDataKey || riid == IID_ISpObjectToken ||
            riid == IID_ISpObjectTokenInit || riid == IID_stand_in) {
            *object = static_cast<ISpObjectTokenInit*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references_.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = references_.fetch_sub(1) - 1;
        if (left == 0) delete this;
        return left;
    }

    // ISpDataKey: the data key's answers.
    HRESULT STDMETHODCALLTYPE SetData(LPCWSTR name, ULONG size, const BYTE* data) override {
        return key_ ? key_->SetData(name, size, data) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE GetData(LPCWSTR name, ULONG* size, BYTE* data) override {
        return key_ ? key_->GetData(name, size, data) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE SetStringValue(LPCWSTR name, LPCWSTR value) override {
        return key_ ? key_->SetStringValue(name, value) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE GetStringValue(LPCWSTR name, LPWSTR* value) override {
        return key_ ? key_->GetStringValue(name, value) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE SetDWORD(LPCWSTR name, DWORD value) override {
        return key_ ? key_->SetDWORD(name, value) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE GetDWORD(LPCWSTR name, DWORD* value) override {
        return key_ ? key_->GetDWORD(name, value) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE OpenKey(LPCWSTR name, ISpDataKey** subkey) override {
        return key_ ? key_->OpenKey(name, subkey) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE CreateKey(LPCWSTR name, ISpDataKey** subkey) override {
        return key_ ? key_->CreateKey(name, subkey) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE DeleteKey(LPCWSTR name) override {
        return key_ ? key_->DeleteKey(name) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR name) override {
        return key_ ? key_->DeleteValue(name) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE EnumKeys(ULONG index, LPWSTR* name) override {
        return key_ ? key_->EnumKeys(index, name) : kUninitialized;
    }
    HRESULT STDMETHODCALLTYPE EnumValues(ULONG index, LPWSTR* name) override {
        return key_ ? key_->EnumValues(index, name) : kUninitialized;
    }

    // ISpObjectToken: the identifier; nothing else is needed by the tests.
    HRESULT STDMETHODCALLTYPE SetId(LPCWSTR, LPCWSTR, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        if (id == nullptr) return E_POINTER;
        *id = nullptr;
        if (key_ == nullptr) return kUninitialized;
        try {
            *id = com::co_task_copy(id_);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCategory(ISpObjectTokenCategory**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, DWORD, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetStorageFileName(REFCLSID, LPCWSTR, LPCWSTR, ULONG,
                                                 LPWSTR*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RemoveStorageFileName(REFCLSID, LPCWSTR, BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Remove(const CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsUISupported(LPCWSTR, void*, ULONG, IUnknown*, BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG, IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE MatchesAttributes(LPCWSTR, BOOL*) override { return E_NOTIMPL; }

    // ISpObjectTokenInit
    HRESULT STDMETHODCALLTYPE InitFromDataKey(LPCWSTR category, LPCWSTR id,
                                              ISpDataKey* key) override {
        if (id == nullptr || key == nullptr) return E_INVALIDARG;
        if (key_ != nullptr) return kAlreadyInitialized;
        category_ = category != nullptr ? category : L"";
        id_ = id;
        key->AddRef();
        key_ = key;
        return S_OK;
    }

    const std::wstring& id() const { return id_; }
    const std::wstring& category() const { return category_; }

private:
    std::atomic<ULONG> references_{1};
    std::wstring category_;
    std::wstring id_;
    ISpDataKey* key_ = nullptr;
};

// The class object: lives as long as the process, so it counts no references.
class token_factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* token = new (std::nothrow) object_token();
        if (token == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = token->QueryInterface(riid, object);
        token->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

token_factory factory;

object_token* stand_in(ISpObjectToken* token) {
    void* found = nullptr;
    if (token == nullptr || FAILED(token->QueryInterface(IID_stand_in, &found))) return nullptr;
    auto* object = static_cast<object_token*>(static_cast<ISpObjectTokenInit*>(found));
    object->Release();  // the caller's reference keeps it alive
    return object;
}

}  // namespace

test_token_class::test_token_class() {
    if (FAILED(CoRegisterClassObject(CLSID_SpObjectToken, &factory, CLSCTX_INPROC_SERVER,
                                     REGCLS_MULTIPLEUSE, &cookie_))) {
        cookie_ = 0;
    }
}

test_token_class::~test_token_class() {
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
}

long test_token_class::live_tokens() { return live.load(); }

std::wstring token_id(ISpObjectToken* token) {
    const object_token* object = stand_in(token);
    return object != nullptr ? object->id() : std::wstring();
}

std::wstring token_category(ISpObjectToken* token) {
    const object_token* object = stand_in(token);
    return object != nullptr ? object->category() : std::wstring();
}

bool platform_token_has_init() {
    com::ptr<IUnknown> token;
    if (FAILED(CoCreateInstance(CLSID_SpObjectToken, nullptr, CLSCTX_ALL, IID_IUnknown,
                                token.receive_void()))) {
        return false;
    }
    com::ptr<ISpObjectTokenInit> init;
    return SUCCEEDED(token->QueryInterface(IID_ISpObjectTokenInit, init.receive_void()));
}

}  // namespace zelvan_tts::sapi_test
