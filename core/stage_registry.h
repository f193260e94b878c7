// The loaded instances of an optional text stage, one per key (the models
// root, and the language for the stress stage). Both stages follow the same
// lifetime rule: an instance is made on first use and kept, a failed one
// included, until the stage is switched off; a caller still using an
// instance keeps it alive after a release.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zelvan_tts {

template <typename Stage>
class StageRegistry {
public:
    // The instance of `key`, made by `make` under the lock on first use. A
    // `make` that throws leaves nothing behind, so the next use tries again.
    std::shared_ptr<Stage> get(const std::string& key,
                               const std::function<std::shared_ptr<Stage>()>& make) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<Stage>& entry = instances_[key];
        if (!entry) {
            try {
                entry = make();
            } catch (...) {
                instances_.erase(key);
                throw;
            }
        }
        return entry;
    }

    // Forgets every instance. They are destroyed outside the lock: freeing a
    // model takes a while and needs no protection.
    void release() {
        std::unordered_map<std::string, std::shared_ptr<Stage>> released;
        std::lock_guard<std::mutex> lock(mutex_);
        released.swap(instances_);
    }

    std::size_t size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return instances_.size();
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<Stage>> instances_;
};

}  // namespace zelvan_tts
