#include "voice/regression_tree.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace zelvan_tts::voice {

namespace {

struct Grower {
    const TreeData& data;
    TreeOptions options;
    RegressionTree tree;

    int leaf(double value) {
        const int id = static_cast<int>(tree.nodes.size() / 5);
        tree.nodes.insert(tree.nodes.end(), {0.0f, std::numeric_limits<float>::infinity(),
                                             static_cast<float>(id), static_cast<float>(id),
                                             static_cast<float>(value)});
        return id;
    }

    int grow(std::vector<int>& rows, int depth) {
        double sum = 0;
        for (int r : rows) sum += data.targets[r];
        const double mean = sum / static_cast<double>(rows.size());
        tree.depth = std::max(tree.depth, depth);
        const auto n = rows.size();
        if (depth >= options.max_depth || n < 2u * static_cast<std::size_t>(options.min_leaf))
            return leaf(mean);
        // The split that lowers the squared error most.
        double best_gain = 1e-9;
        int best_feature = -1;
        float best_threshold = 0;
        const std::size_t width = data.rows[static_cast<std::size_t>(rows[0])].size();
        std::vector<int> order = rows;
        for (std::size_t f = 0; f < width; ++f) {
            std::sort(order.begin(), order.end(),
                      [&](int a, int b) { return data.rows[a][f] < data.rows[b][f]; });
            double left = 0;
            for (std::size_t i = 0; i + 1 < n; ++i) {
                left += data.targets[order[i]];
                const std::size_t nl = i + 1, nr = n - nl;
                const float here = data.rows[order[i]][f], next = data.rows[order[i + 1]][f];
                if (here == next || nl < static_cast<std::size_t>(options.min_leaf) ||
                    nr < static_cast<std::size_t>(options.min_leaf))
                    continue;
                const double right = sum - left;
                const double gain = left * left / static_cast<double>(nl) +
                                    right * right / static_cast<double>(nr) -
                                    sum * sum / static_cast<double>(n);
                if (gain > best_gain) {
                    best_gain = gain;
                    best_feature = static_cast<int>(f);
                    best_threshold = 0.5f * (here + next);
                }
            }
        }
        if (best_feature < 0) return leaf(mean);
        std::vector<int> lo, hi;
        for (int r : rows)
            (data.rows[r][static_cast<std::size_t>(best_feature)] <= best_threshold ? lo : hi)
                .push_back(r);
        rows.clear();
        rows.shrink_to_fit();
        const int id = static_cast<int>(tree.nodes.size() / 5);
        tree.nodes.insert(tree.nodes.end(), {static_cast<float>(best_feature), best_threshold,
                                             0.0f, 0.0f, static_cast<float>(mean)});
        const int l = grow(lo, depth + 1);
        const int h = grow(hi, depth + 1);
        tree.nodes[static_cast<std::size_t>(id) * 5 + 2] = static_cast<float>(l);
        tree.nodes[static_cast<std::size_t>(id) * 5 + 3] = static_cast<float>(h);
        return id;
    }
};

}  // namespace

RegressionTree grow_tree(const TreeData& data, const TreeOptions& options) {
    if (data.rows.empty() || data.rows.size() != data.targets.size())
        throw std::invalid_argument("A regression tree needs rows with one target each");
    for (const auto& r : data.rows)
        if (r.size() != data.rows[0].size() || r.empty())
            throw std::invalid_argument("The rows of a regression tree differ in width");
    TreeOptions o = options;
    o.max_depth = std::min(o.max_depth, kMaxTreeDepth);
    o.min_leaf = std::max(1, o.min_leaf);
    Grower g{data, o, {}};
    std::vector<int> rows(data.rows.size());
    std::iota(rows.begin(), rows.end(), 0);
    g.grow(rows, 0);
    return g.tree;
}

float tree_value(const RegressionTree& tree, const std::vector<float>& row) {
    std::size_t node = 0;
    for (int step = 0; step <= kMaxTreeDepth; ++step) {
        const float* n = &tree.nodes[node * 5];
        if (std::isinf(n[1])) return n[4];
        node = static_cast<std::size_t>(row[static_cast<std::size_t>(n[0])] <= n[1] ? n[2] : n[3]);
    }
    return tree.nodes[node * 5 + 4];
}

}  // namespace zelvan_tts::voice
