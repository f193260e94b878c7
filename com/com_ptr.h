// Owns one reference to a COM interface and releases it on every path.
#pragma once

namespace zelvan_tts::com {

template <class T>
class ptr {
public:
    ptr() = default;
    // Takes over a reference the caller already holds.
    explicit ptr(T* p) : p_(p) {}
    ~ptr() { reset(); }
    ptr(ptr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ptr& operator=(ptr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    ptr(const ptr&) = delete;
    ptr& operator=(const ptr&) = delete;

    void reset() {
        if (p_ != nullptr) p_->Release();
        p_ = nullptr;
    }
    // Where a call stores a new reference; the old one is released first.
    T** receive() {
        reset();
        return &p_;
    }
    void** receive_void() { return reinterpret_cast<void**>(receive()); }
    // Hands the reference to the caller.
    T* detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace zelvan_tts::com
