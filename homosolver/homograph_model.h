// What the homograph stage asks of its classifier: one choice per row of a
// batch. No LibTorch here: the TorchScript classifier is one implementation
// (torch_homograph_model.cpp), and a test can put a plain C++ one in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zelvan_tts {

// One occurrence as the classifier reads it: its ids, and where its open
// and close markers stand among them.
struct HomographRow {
    std::vector<std::int32_t> ids;
    std::int64_t open = 0;
    std::int64_t close = 0;
};

class HomographModel {
public:
    virtual ~HomographModel() = default;

    // One choice per row, the variant index as a float (NaN when the model
    // gives no usable number); rows shorter than the batch's longest are
    // padded with `pad_id`. Throws when the model fails or its output is
    // not one number per row. Called from several threads at once.
    virtual std::vector<float> choose(const std::vector<HomographRow>& rows,
                                      std::int32_t pad_id) const = 0;
};

// The encrypted TorchScript classifier at `path` (UTF-8) in evaluation mode,
// its quantised word embeddings restored when the module carries what that
// takes. Null when the file cannot be read or loaded; `problem`, when
// given, then receives the one-line reason with the path.
std::unique_ptr<HomographModel> load_homograph_model(const std::string& path,
                                                     std::string* problem = nullptr);

}  // namespace zelvan_tts
