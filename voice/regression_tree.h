// Regression trees for the voice's prosody: grown once at build time on the
// speaker's training sentences (a few tens of thousands of rows, seconds on
// one core) and evaluated inside the voice module, where a tree is a table
// that a few tensor steps walk for all rows at once.
#pragma once

#include <vector>

namespace zelvan_tts::voice {

// Rows of numeric features with one target each.
struct TreeData {
    std::vector<std::vector<float>> rows;
    std::vector<float> targets;
    void add(std::vector<float> row, float target) {
        rows.push_back(std::move(row));
        targets.push_back(target);
    }
};

struct TreeOptions {
    int max_depth = 7;
    int min_leaf = 25;  // rows a leaf holds at least
};

// A tree as the voice module reads it: one node per row of five numbers:
// the feature tested, the threshold (go left when the feature is at most
// it), the left and the right child, the value. A leaf tests feature 0
// against +infinity and is its own child on both sides, so that walking a
// fixed number of steps (kMaxTreeDepth) ends on it from any row.
struct RegressionTree {
    std::vector<float> nodes;  // node count x 5
    int depth = 0;
};
inline constexpr int kMaxTreeDepth = 12;

// Grows a least-squares tree; splits are tried at every distinct value.
// Throws std::invalid_argument for no rows or rows of unequal width.
RegressionTree grow_tree(const TreeData& data, const TreeOptions& options);

float tree_value(const RegressionTree& tree, const std::vector<float>& row);

}  // namespace zelvan_tts::voice
