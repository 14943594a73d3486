#include "graph.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sstream>

namespace talvane {

namespace {

std::uint64_t edgeKey(std::int32_t a, std::int32_t b) {
    const auto lo = static_cast<std::uint32_t>(std::min(a, b));
    const auto hi = static_cast<std::uint32_t>(std::max(a, b));
    return static_cast<std::uint64_t>(lo) << 32 | hi;
}

std::string edgeText(const Edge& e) { return std::to_string(e.first) + "-" + std::to_string(e.second); }

int wrapOrNone(int i, int count, Edges edges) {
    if (i >= 0 && i < count) return i;
    if (edges == Edges::Fixed) return -1;
    return (i + count) % count;
}

// The index of the first repeated edge (its second appearance), or -1.
std::int64_t firstRepeat(const std::vector<Edge>& edges) {
    std::vector<std::pair<std::uint64_t, std::int64_t>> keyed(edges.size());
    for (std::size_t i = 0; i < edges.size(); ++i) {
        keyed[i] = {edgeKey(edges[i].first, edges[i].second), static_cast<std::int64_t>(i)};
    }
    std::sort(keyed.begin(), keyed.end());
    std::int64_t first = -1;
    for (std::size_t i = 1; i < keyed.size(); ++i) {
        if (keyed[i].first == keyed[i - 1].first && (first < 0 || keyed[i].second < first)) first = keyed[i].second;
    }
    return first;
}

// CSR of a simple graph, each list in ascending order.
Graph csrOf(int nodes, const std::vector<Edge>& edges) {
    Graph g;
    g.nodes = nodes;
    g.offsets.assign(static_cast<std::size_t>(nodes) + 1, 0);
    for (const Edge& e : edges) {
        ++g.offsets[static_cast<std::size_t>(e.first) + 1];
        ++g.offsets[static_cast<std::size_t>(e.second) + 1];
    }
    for (int u = 0; u < nodes; ++u) g.offsets[u + 1] += g.offsets[u];
    g.neighbours.resize(g.offsets[nodes]);
    std::vector<std::uint32_t> next(g.offsets.begin(), g.offsets.end() - 1);
    for (const Edge& e : edges) {
        g.neighbours[next[e.first]++] = e.second;
        g.neighbours[next[e.second]++] = e.first;
    }
    for (int u = 0; u < nodes; ++u) {
        std::sort(g.neighbours.begin() + g.offsets[u], g.neighbours.begin() + g.offsets[u + 1]);
    }
    return g;
}

}  // namespace

bool graphFromEdges(int nodes, const std::vector<Edge>& edges, Graph& out, std::string& error) {
    if (nodes < kMinGraphNodes || nodes > kMaxGraphNodes) {
        error = "a graph needs " + std::to_string(kMinGraphNodes) + " to " + std::to_string(kMaxGraphNodes) +
                " nodes, not " + std::to_string(nodes);
        return false;
    }
    if (edges.size() > 0x7fffffffu) {
        error = "too many edges";
        return false;
    }
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const Edge& e = edges[i];
        if (e.first < 0 || e.second < 0 || e.first >= nodes || e.second >= nodes) {
            error = "edge " + std::to_string(i) + " (" + edgeText(e) + ") names a node outside 0.." +
                    std::to_string(nodes - 1);
            return false;
        }
        if (e.first == e.second) {
            error = "edge " + std::to_string(i) + " is a self-loop " + edgeText(e);
            return false;
        }
    }
    if (const std::int64_t i = firstRepeat(edges); i >= 0) {
        error = "edge " + std::to_string(i) + " (" + edgeText(edges[static_cast<std::size_t>(i)]) + ") is repeated";
        return false;
    }
    out = csrOf(nodes, edges);
    return true;
}

Graph latticeGraph(const WorldShape& shape) {
    Graph g;
    g.nodes = shape.rows * shape.cols;
    g.lattice = shape;
    g.offsets.reserve(static_cast<std::size_t>(g.nodes) + 1);
    g.offsets.push_back(0);
    const bool moore = shape.neighbourhood == Neighbourhood::Moore;
    for (int r = 0; r < shape.rows; ++r) {
        const int up = wrapOrNone(r - 1, shape.rows, shape.edges);
        const int down = wrapOrNone(r + 1, shape.rows, shape.edges);
        for (int c = 0; c < shape.cols; ++c) {
            const int left = wrapOrNone(c - 1, shape.cols, shape.edges);
            const int right = wrapOrNone(c + 1, shape.cols, shape.edges);
            // The lattice's scan order: the four diagonals, then up, left,
            // down and right.
            const int place[8][2] = {{up, left}, {down, left}, {up, right}, {down, right},
                                     {up, c},    {r, left},    {down, c},  {r, right}};
            for (int k = moore ? 0 : 4; k < 8; ++k) {
                if (place[k][0] < 0 || place[k][1] < 0) continue;
                g.neighbours.push_back(place[k][0] * shape.cols + place[k][1]);
                g.slots.push_back(static_cast<std::uint8_t>(k));
            }
            g.offsets.push_back(static_cast<std::uint32_t>(g.neighbours.size()));
        }
    }
    return g;
}

std::vector<Edge> edgesOf(const Graph& graph) {
    std::vector<Edge> edges;
    edges.reserve(graph.neighbours.size() / 2);
    for (int u = 0; u < graph.nodes; ++u) {
        for (std::uint32_t i = graph.offsets[u]; i < graph.offsets[u + 1]; ++i) {
            if (graph.neighbours[i] > u) edges.emplace_back(u, graph.neighbours[i]);
        }
    }
    return edges;
}

std::uint64_t graphChecksum(const Graph& graph) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    const auto add = [&hash](std::uint32_t word) {
        for (int b = 0; b < 4; ++b) {
            hash ^= (word >> (8 * b)) & 0xffu;
            hash *= 0x100000001b3ull;
        }
    };
    add(static_cast<std::uint32_t>(graph.nodes));
    if (graph.lattice) {
        add(static_cast<std::uint32_t>(graph.lattice->rows));
        add(static_cast<std::uint32_t>(graph.lattice->cols));
        add(static_cast<std::uint32_t>(graph.lattice->edges) << 8 |
            static_cast<std::uint32_t>(graph.lattice->neighbourhood));
    }
    for (int u = 0; u < graph.nodes; ++u) {
        add(static_cast<std::uint32_t>(graph.degree(u)));
        for (std::uint32_t i = graph.offsets[u]; i < graph.offsets[u + 1]; ++i) {
            add(static_cast<std::uint32_t>(graph.neighbours[i]));
        }
    }
    return hash;
}

DegreeStats degreeStats(const Graph& graph) {
    DegreeStats stats;
    if (graph.nodes == 0) return stats;
    stats.minimum = graph.degree(0);
    for (int u = 0; u < graph.nodes; ++u) {
        stats.maximum = std::max(stats.maximum, graph.degree(u));
        stats.minimum = std::min(stats.minimum, graph.degree(u));
    }
    stats.histogram.assign(static_cast<std::size_t>(stats.maximum) + 1, 0);
    for (int u = 0; u < graph.nodes; ++u) ++stats.histogram[static_cast<std::size_t>(graph.degree(u))];
    stats.mean = static_cast<double>(graph.neighbours.size()) / graph.nodes;
    return stats;
}

// --- Edge lists ---

namespace {

// The line's words, split at white space and commas, with any comment cut off.
std::vector<std::string_view> wordsOf(std::string_view line) {
    if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    std::vector<std::string_view> words;
    std::size_t i = 0;
    const auto separator = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == ','; };
    while (i < line.size()) {
        while (i < line.size() && separator(line[i])) ++i;
        std::size_t j = i;
        while (j < line.size() && !separator(line[j])) ++j;
        if (j > i) words.push_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

// A node number 0 .. kMaxGraphNodes - 1; otherwise the reason it is none.
bool nodeNumber(std::string_view word, std::int32_t& out, std::string& reason) {
    if (!word.empty() && word[0] == '-') {
        reason = "negative node " + std::string(word);
        return false;
    }
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec == std::errc::result_out_of_range || (ec == std::errc{} && end == word.data() + word.size() &&
                                                 value >= kMaxGraphNodes)) {
        reason = "node " + std::string(word) + " is beyond the most nodes a graph may have (" +
                 std::to_string(kMaxGraphNodes) + ")";
        return false;
    }
    if (ec != std::errc{} || end != word.data() + word.size()) {
        reason = "'" + std::string(word) + "' is not a node number";
        return false;
    }
    out = static_cast<std::int32_t>(value);
    return true;
}

}  // namespace

bool parseEdgeList(const std::string& text, Graph& out, EdgeListError& error) {
    std::vector<Edge> edges;
    std::vector<int> lines;
    int declared = -1;
    std::optional<WorldShape> lattice;
    int lineNumber = 0;
    bool seenContent = false;
    std::size_t start = 0;
    const auto fail = [&error](int line, std::string reason) {
        error.line = line;
        error.reason = std::move(reason);
        return false;
    };
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        ++lineNumber;
        const auto words = wordsOf(line);
        if (words.empty()) continue;
        if (words[0] == "nodes") {
            if (seenContent) return fail(lineNumber, "'nodes N' must be the first line");
            std::int32_t n = 0;
            std::string reason;
            if (words.size() != 2 || !nodeNumber(words[1], n, reason)) {
                return fail(lineNumber, "expected 'nodes N' with N a whole number up to " +
                                            std::to_string(kMaxGraphNodes));
            }
            declared = n;
            seenContent = true;
            continue;
        }
        if (words[0] == "lattice") {
            if (!edges.empty()) return fail(lineNumber, "the lattice line must come before the edges");
            WorldShape shape;
            std::int32_t rows = 0, cols = 0;
            std::string reason;
            if (words.size() != 5 || !nodeNumber(words[1], rows, reason) || !nodeNumber(words[2], cols, reason) ||
                !parseNeighbourhood(std::string(words[3]), shape.neighbourhood) ||
                !parseEdges(std::string(words[4]), shape.edges)) {
                return fail(lineNumber, "expected 'lattice ROWS COLS moore|von-neumann wrap|fixed'");
            }
            shape.rows = rows;
            shape.cols = cols;
            if (!isValidShape(shape)) {
                return fail(lineNumber, "a lattice needs " + std::to_string(kMinWorldSide) + " to " +
                                            std::to_string(kMaxWorldSide) + " rows and columns");
            }
            lattice = shape;
            seenContent = true;
            continue;
        }
        seenContent = true;
        if (words.size() != 2) return fail(lineNumber, "expected two node numbers, found " + std::to_string(words.size()) + " fields");
        Edge e;
        std::string reason;
        if (!nodeNumber(words[0], e.first, reason) || !nodeNumber(words[1], e.second, reason)) {
            return fail(lineNumber, reason);
        }
        if (e.first == e.second) return fail(lineNumber, "self-loop " + edgeText(e));
        if (declared >= 0 && std::max(e.first, e.second) >= declared) {
            return fail(lineNumber, "node " + std::to_string(std::max(e.first, e.second)) + " but 'nodes " +
                                        std::to_string(declared) + "' allows only 0.." + std::to_string(declared - 1));
        }
        edges.push_back(e);
        lines.push_back(lineNumber);
    }
    int nodes = declared;
    if (nodes < 0) {
        nodes = 0;
        for (const Edge& e : edges) nodes = std::max(nodes, std::max(e.first, e.second) + 1);
    }
    if (lattice && declared >= 0 && declared != lattice->rows * lattice->cols) {
        return fail(0, "'nodes " + std::to_string(declared) + "' is not the lattice's " +
                           std::to_string(lattice->rows * lattice->cols) + " cells");
    }
    if (lattice) nodes = lattice->rows * lattice->cols;
    if (nodes < kMinGraphNodes) {
        return fail(0, "a graph needs at least " + std::to_string(kMinGraphNodes) + " nodes, this one has " +
                           std::to_string(nodes));
    }
    if (const std::int64_t i = firstRepeat(edges); i >= 0) {
        return fail(lines[static_cast<std::size_t>(i)], "repeated edge " + edgeText(edges[static_cast<std::size_t>(i)]));
    }
    if (lattice) {
        Graph g = latticeGraph(*lattice);
        std::vector<std::uint64_t> wanted;
        for (const Edge& e : edgesOf(g)) wanted.push_back(edgeKey(e.first, e.second));
        std::sort(wanted.begin(), wanted.end());
        for (std::size_t i = 0; i < edges.size(); ++i) {
            if (!std::binary_search(wanted.begin(), wanted.end(), edgeKey(edges[i].first, edges[i].second))) {
                return fail(lines[i], "edge " + edgeText(edges[i]) + " is not an edge of the lattice");
            }
        }
        if (edges.size() != wanted.size()) {
            return fail(0, "the lattice has " + std::to_string(wanted.size()) + " edges, the list " +
                               std::to_string(edges.size()));
        }
        out = std::move(g);
        return true;
    }
    out = csrOf(nodes, edges);
    return true;
}

std::string formatEdgeList(const Graph& graph) {
    std::string text = "nodes " + std::to_string(graph.nodes) + "\n";
    if (graph.lattice) {
        const WorldShape& s = *graph.lattice;
        text += "lattice " + std::to_string(s.rows) + " " + std::to_string(s.cols) + " " +
                neighbourhoodName(s.neighbourhood) + " " + edgesName(s.edges) + "\n";
    }
    char buffer[32];
    for (const Edge& e : edgesOf(graph)) {
        // Two numbers below 2^24 take at most 8 digits each.
        char* p = std::to_chars(buffer, buffer + 12, e.first).ptr;
        *p++ = ' ';
        p = std::to_chars(p, p + 12, e.second).ptr;
        *p++ = '\n';
        text.append(buffer, static_cast<std::size_t>(p - buffer));
    }
    return text;
}

// --- Generated networks ---

namespace {

bool wholeNumber(const std::string& text, long long low, long long high, long long& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size() && out >= low && out <= high;
}

bool chance(const std::string& text, double& out) {
    std::istringstream in(text);
    in >> out;
    return !in.fail() && in.eof() && out >= 0.0 && out <= 1.0;
}

std::vector<std::string> fieldsOf(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return fields;
}

// Room for a few edges per node, so that a node's neighbours can be checked
// and changed while a graph is drawn.
struct Adjacency {
    std::vector<std::vector<std::int32_t>> lists;
    explicit Adjacency(int nodes) : lists(static_cast<std::size_t>(nodes)) {}
    bool has(std::int32_t a, std::int32_t b) const {
        const auto& shorter = lists[a].size() <= lists[b].size() ? lists[a] : lists[b];
        const std::int32_t other = lists[a].size() <= lists[b].size() ? b : a;
        return std::find(shorter.begin(), shorter.end(), other) != shorter.end();
    }
    void add(std::int32_t a, std::int32_t b) {
        lists[a].push_back(b);
        lists[b].push_back(a);
    }
    void remove(std::int32_t a, std::int32_t b) {
        auto drop = [](std::vector<std::int32_t>& list, std::int32_t x) {
            auto it = std::find(list.begin(), list.end(), x);
            *it = list.back();
            list.pop_back();
        };
        drop(lists[a], b);
        drop(lists[b], a);
    }
    std::vector<Edge> edges() const {
        std::vector<Edge> out;
        for (std::size_t u = 0; u < lists.size(); ++u) {
            for (const std::int32_t v : lists[u]) {
                if (v > static_cast<std::int32_t>(u)) out.emplace_back(static_cast<std::int32_t>(u), v);
            }
        }
        return out;
    }
};

// Random regular: stubs paired two at a time, both drawn uniformly among
// those left; a pair that would make a self-loop or a repeated edge is put
// back and drawn again; after 1000 such refusals in a row the whole drawing
// starts afresh.
bool randomRegular(int n, int k, Mt19937& random, std::vector<Edge>& edges, std::string& error) {
    constexpr int kRefusalsBeforeRestart = 1000;
    constexpr int kMaxStarts = 1000;
    for (int attempt = 0; attempt < kMaxStarts; ++attempt) {
        std::vector<std::int32_t> stubs;
        stubs.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(k));
        for (int u = 0; u < n; ++u) {
            for (int j = 0; j < k; ++j) stubs.push_back(u);
        }
        Adjacency adj(n);
        int refusals = 0;
        while (!stubs.empty() && refusals < kRefusalsBeforeRestart) {
            const auto size = static_cast<std::uint32_t>(stubs.size());
            const std::uint32_t i = drawBelow(random, size);
            const std::uint32_t j = drawBelow(random, size);
            const std::int32_t a = stubs[i], b = stubs[j];
            if (i == j || a == b || adj.has(a, b)) {
                ++refusals;
                continue;
            }
            refusals = 0;
            adj.add(a, b);
            // Take both stubs out, the later place first.
            for (const std::uint32_t at : {std::max(i, j), std::min(i, j)}) {
                stubs[at] = stubs.back();
                stubs.pop_back();
            }
        }
        if (stubs.empty()) {
            edges = adj.edges();
            return true;
        }
    }
    error = "no random regular graph found in " + std::to_string(kMaxStarts) + " drawings";
    return false;
}

// Watts-Strogatz: a ring where each node is joined to the K / 2 nearest on
// either side; then for j = 1 .. K / 2 and for each node u in order, the
// edge u - (u + j) is rewired with chance P (one drawUnit) to u - w, w drawn
// uniformly (drawBelow) again and again until it is neither u nor a
// neighbour of u. A node joined to every other keeps its edge.
void smallWorld(int n, int k, double p, Mt19937& random, std::vector<Edge>& edges) {
    Adjacency adj(n);
    for (int j = 1; j <= k / 2; ++j) {
        for (int u = 0; u < n; ++u) adj.add(u, (u + j) % n);
    }
    for (int j = 1; j <= k / 2; ++j) {
        for (int u = 0; u < n; ++u) {
            const int v = (u + j) % n;
            if (!(drawUnit(random) < p)) continue;
            if (static_cast<int>(adj.lists[u].size()) >= n - 1) continue;
            std::int32_t w;
            do {
                w = static_cast<std::int32_t>(drawBelow(random, static_cast<std::uint32_t>(n)));
            } while (w == u || adj.has(u, w));
            adj.remove(u, v);
            adj.add(u, w);
        }
    }
    edges = adj.edges();
}

// Barabasi-Albert: nodes 0 .. M joined to one another; each later node t
// draws M distinct targets among 0 .. t - 1, each draw uniform over the list
// of edge ends so far (a node appears as often as its degree), a target
// already drawn for t drawn again.
void scaleFree(int n, int m, Mt19937& random, std::vector<Edge>& edges) {
    std::vector<std::int32_t> ends;
    ends.reserve(2 * (static_cast<std::size_t>(m) * (m + 1) / 2 + static_cast<std::size_t>(n - m - 1) * m));
    for (int a = 0; a <= m; ++a) {
        for (int b = a + 1; b <= m; ++b) {
            edges.emplace_back(a, b);
            ends.push_back(a);
            ends.push_back(b);
        }
    }
    std::vector<std::int32_t> targets;
    for (int t = m + 1; t < n; ++t) {
        targets.clear();
        while (static_cast<int>(targets.size()) < m) {
            const std::int32_t pick = ends[drawBelow(random, static_cast<std::uint32_t>(ends.size()))];
            if (std::find(targets.begin(), targets.end(), pick) == targets.end()) targets.push_back(pick);
        }
        for (const std::int32_t v : targets) {
            edges.emplace_back(v, t);
            ends.push_back(v);
            ends.push_back(t);
        }
    }
}

// G(N, P): every pair independently with chance P, visited in the order
// (1,0), (2,0), (2,1), (3,0), ... and skipped over geometrically (Batagelj
// and Brandes 2005): each step draws r (drawUnit) and skips
// floor(log(1 - r) / log(1 - P)) pairs.
void erdosRenyi(int n, double p, Mt19937& random, std::vector<Edge>& edges) {
    if (p <= 0.0) return;
    if (p >= 1.0) {
        for (int v = 1; v < n; ++v) {
            for (int w = 0; w < v; ++w) edges.emplace_back(w, v);
        }
        return;
    }
    const double logQ = std::log1p(-p);
    std::int64_t v = 1, w = -1;
    while (v < n) {
        const double r = drawUnit(random);
        w += 1 + static_cast<std::int64_t>(std::floor(std::log1p(-r) / logQ));
        while (w >= v && v < n) {
            w -= v;
            ++v;
        }
        if (v < n) edges.emplace_back(static_cast<std::int32_t>(w), static_cast<std::int32_t>(v));
    }
}

}  // namespace

bool parseNetworkRecipe(const std::string& text, NetworkRecipe& out, std::string& error) {
    const std::vector<std::string> f = fieldsOf(text);
    NetworkRecipe recipe;
    recipe.text = text;
    long long n = 0, k = 0;
    const std::string& kind = f[0];
    const auto nodesOk = [&](const std::string& field) {
        if (wholeNumber(field, kMinGraphNodes, kMaxGraphNodes, n)) return true;
        error = "N must be a whole number " + std::to_string(kMinGraphNodes) + " to " + std::to_string(kMaxGraphNodes);
        return false;
    };
    if (kind == "random-regular" && f.size() == 3) {
        if (!nodesOk(f[1])) return false;
        if (!wholeNumber(f[2], 1, n - 1, k) || (n * k) % 2 != 0) {
            error = "K must be 1 to N - 1 with N x K even";
            return false;
        }
        recipe.kind = NetworkKind::RandomRegular;
    } else if (kind == "small-world" && f.size() == 4) {
        if (!nodesOk(f[1])) return false;
        if (!wholeNumber(f[2], 2, n - 1, k) || k % 2 != 0) {
            error = "K must be even, 2 to N - 1";
            return false;
        }
        if (!chance(f[3], recipe.probability)) {
            error = "P must be a number 0 to 1";
            return false;
        }
        recipe.kind = NetworkKind::SmallWorld;
    } else if (kind == "scale-free" && f.size() == 3) {
        if (!nodesOk(f[1])) return false;
        if (!wholeNumber(f[2], 1, n - 2, k)) {
            error = "M must be 1 to N - 2";
            return false;
        }
        recipe.kind = NetworkKind::ScaleFree;
    } else if (kind == "erdos-renyi" && f.size() == 3) {
        if (!nodesOk(f[1])) return false;
        if (!chance(f[2], recipe.probability)) {
            error = "P must be a number 0 to 1";
            return false;
        }
        recipe.kind = NetworkKind::ErdosRenyi;
    } else if (kind == "lattice" && (f.size() == 4 || f.size() == 5)) {
        long long rows = 0, cols = 0;
        if (!wholeNumber(f[1], kMinWorldSide, kMaxWorldSide, rows) ||
            !wholeNumber(f[2], kMinWorldSide, kMaxWorldSide, cols)) {
            error = "R and C must be whole numbers " + std::to_string(kMinWorldSide) + " to " +
                    std::to_string(kMaxWorldSide);
            return false;
        }
        if (!parseNeighbourhood(f[3], recipe.shape.neighbourhood)) {
            error = "the neighbourhood must be moore or von-neumann";
            return false;
        }
        if (f.size() == 5 && !parseEdges(f[4], recipe.shape.edges)) {
            error = "the edges must be wrap or fixed";
            return false;
        }
        recipe.shape.rows = static_cast<int>(rows);
        recipe.shape.cols = static_cast<int>(cols);
        n = rows * cols;
        recipe.kind = NetworkKind::Lattice;
    } else {
        error = "expected random-regular:N:K, small-world:N:K:P, scale-free:N:M, erdos-renyi:N:P or "
                "lattice:R:C:moore|von-neumann[:wrap|fixed]";
        return false;
    }
    recipe.nodes = static_cast<int>(n);
    recipe.degree = static_cast<int>(k);
    out = recipe;
    return true;
}

bool generateNetwork(const NetworkRecipe& recipe, Mt19937& random, Graph& out, std::string& error) {
    std::vector<Edge> edges;
    switch (recipe.kind) {
        case NetworkKind::Lattice: out = latticeGraph(recipe.shape); return true;
        case NetworkKind::RandomRegular:
            if (!randomRegular(recipe.nodes, recipe.degree, random, edges, error)) return false;
            break;
        case NetworkKind::SmallWorld: smallWorld(recipe.nodes, recipe.degree, recipe.probability, random, edges); break;
        case NetworkKind::ScaleFree: scaleFree(recipe.nodes, recipe.degree, random, edges); break;
        case NetworkKind::ErdosRenyi: erdosRenyi(recipe.nodes, recipe.probability, random, edges); break;
    }
    out = csrOf(recipe.nodes, edges);
    return true;
}

}  // namespace talvane
