// A world as a value: its size and shape, its three grids, the settings that
// rule its generations, its scores and scratch space, and its own random
// generator. Many worlds can live in one process and step on different
// threads at the same time; nothing is shared between them.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ecology.h"
#include "fitness_sampler.h"
#include "random_generator.h"

namespace talvane {

inline constexpr int kCodeCount = 8;      // strategy codes and colour codes are 0..7
inline constexpr int kPairCount = kCodeCount * kCodeCount;  // (self, others) pairs, self*8 + others
inline constexpr int kMinWorldSide = 3;   // fewest rows or columns a world may have
inline constexpr int kMaxWorldSide = 4096;  // most rows or columns a world may have

// A reactive strategy with one move of memory, 0..7: bit 2 the first move,
// bit 1 the reply to a cooperation, bit 0 the reply to a defection (1 = C).
using StrategyCode = std::int32_t;

// One cell's colour or strategy code as the grids store it.
using CellCode = std::int8_t;

// [own code][opponent's code]: what the row strategy earns in one whole match.
using PayoffTable = std::array<std::array<double, kCodeCount>, kCodeCount>;

// Cells per (self, others) pair, entry self*8 + others.
using PairCounts = std::array<std::uint32_t, kPairCount>;

// What lies beyond the outermost rows and columns.
enum class Edges : std::uint8_t {
    Wrap,   // the world is a torus: the last row's neighbours below are row 0
    Fixed,  // nothing: cells on an edge have fewer neighbours
};

// Which cells are a cell's neighbours, for playing and for imitation alike.
enum class Neighbourhood : std::uint8_t {
    Moore,       // the eight cells around it
    VonNeumann,  // the four cells above, below, left and right
};

// How a generation updates the cells' pairs: an imitation rule and a
// schedule together (see ImitationRule and Schedule). The first three are
// the rules the program has always had, under their old names.
enum class UpdateRule : std::uint8_t {
    Synchronous,   // best, synchronous: every cell at once, from the scores of the generation before
    Asynchronous,  // best, random-sequential: rows x cols single updates of random cells
    Fermi,         // fermi, random-sequential: rows x cols pairwise comparisons, noise K
    FermiSynchronous,        // fermi, synchronous: every cell compares with one random neighbour at once
    Proportional,            // proportional, synchronous
    ProportionalSequential,  // proportional, random-sequential
    DeathBirth,              // death-birth (Moran), random-sequential
    BirthDeath,              // birth-death (Moran), random-sequential
    Ecology,                 // the ecological tag model: immigration, helping, reproduction, death (ecology.h)
};

// What a single update does.
enum class ImitationRule : std::uint8_t {
    Best,          // take the pair of the best-scoring cell around (ties as chooseCell breaks them)
    Fermi,         // copy one random neighbour with chance 1 / (1 + exp((own - theirs) / K))
    Proportional,  // copy one random neighbour that scores more, chance (theirs - own) / (max(k) * D)
    DeathBirth,    // a random cell dies; a neighbour chosen by fitness exp(W * score) fills it
    BirthDeath,    // a cell chosen by fitness from the whole world replaces a random neighbour
};

// When the updates see each other's results.
enum class Schedule : std::uint8_t {
    Synchronous,       // every cell from the same state
    RandomSequential,  // rows x cols single updates of uniformly drawn cells, each from the current state
};

ImitationRule imitationOf(UpdateRule rule);
Schedule scheduleOf(UpdateRule rule);
// The update rule of a rule on a schedule; false when the two do not go
// together (death-birth and birth-death are random-sequential only).
bool combineRule(ImitationRule rule, Schedule schedule, UpdateRule& out);
// The schedule a rule runs on unless one is chosen: synchronous for best
// and proportional, random-sequential for the rest.
Schedule defaultSchedule(ImitationRule rule);

// "best", "fermi", "proportional", "death-birth", "birth-death".
const char* imitationName(ImitationRule rule);
bool parseImitation(const std::string& text, ImitationRule& out);
// "synchronous", "random-sequential".
const char* scheduleName(Schedule schedule);
bool parseSchedule(const std::string& text, Schedule& out);

// "synchronous", "asynchronous" or "fermi" for the first three rules, as
// options and files have always spelled them, and "ecology"; the imitation
// rule's name for the others (which then need their schedule beside them).
const char* updateRuleName(UpdateRule rule);
// Parses the three old names; false when the text is none of them.
bool parseUpdateRule(const std::string& text, UpdateRule& out);

inline constexpr double kDefaultNoise = 0.1;      // K of the Fermi rule unless chosen
inline constexpr double kDefaultSelection = 1.0;  // W of the Moran rules' fitness exp(W * score) unless chosen
// A Moran fitness above this, or birth-death fitness whose bins' bounds sum
// below its inverse, is measured again from the largest score: exp(W *
// difference) must neither overflow nor vanish.
inline constexpr double kFitnessRebase = 0x1p200;

// A number 0 .. bound - 1 from the generator, every value equally likely
// (bound >= 1); draws one number, more only in the rare case of a rejection.
// Lemire's multiply-and-shift with rejection: no division on the usual path
// and no bias towards small values. Inline: the variants draw it per update.
inline std::uint32_t drawBelow(Mt19937& random, std::uint32_t bound) {
    std::uint64_t product = static_cast<std::uint64_t>(random.next()) * bound;
    auto low = static_cast<std::uint32_t>(product);
    if (low < bound) [[unlikely]] {
        const std::uint32_t threshold = (0u - bound) % bound;
        while (low < threshold) {
            product = static_cast<std::uint64_t>(random.next()) * bound;
            low = static_cast<std::uint32_t>(product);
        }
    }
    return static_cast<std::uint32_t>(product >> 32);
}
// A number strictly between 0 and 1 from one draw: (x + 0.5) / 2^32.
inline double drawUnit(Mt19937& random) { return (random.next() + 0.5) / 4294967296.0; }

// Size and shape of a world.
struct WorldShape {
    int rows = 64;                                        // 3 .. 4096
    int cols = 64;                                        // 3 .. 4096
    Edges edges = Edges::Wrap;                            // torus or fixed edges
    Neighbourhood neighbourhood = Neighbourhood::Moore;   // 8 or 4 neighbours

    bool operator==(const WorldShape&) const = default;
};

// True when both sides lie in kMinWorldSide .. kMaxWorldSide.
bool isValidShape(const WorldShape& shape);

// "wrap"/"fixed" and "moore"/"von-neumann", as options and files spell them.
const char* edgesName(Edges edges);
const char* neighbourhoodName(Neighbourhood neighbourhood);
// Parses those names; false when the text is none of them.
bool parseEdges(const std::string& text, Edges& out);
bool parseNeighbourhood(const std::string& text, Neighbourhood& out);

// Element indexes of the rows and columns around one cell; -1 where fixed
// edges leave no cell.
struct Around {
    int up, row, down;     // element index of column 0 of the row above, this row, the row below
    int left, col, right;  // column left of the cell, its own, right of it
};

// Counts per pair kept in four lanes that neighbouring cells take in turn,
// so that a run of cells with one pair does not make each increment wait
// for the one before it; the sum of the lanes is the count.
constexpr int kCountLanes = 4;
using LaneCounts = std::array<std::array<std::int32_t, kPairCount>, kCountLanes>;

// Scratch of one band of rows of the whole-grid step, for one row at a time.
struct BandScratch {
    std::vector<std::uint16_t> termIndex;  // term of game g of column c at g * cols + c
    std::vector<double> best;              // best score among each cell's candidates
    std::vector<std::uint64_t> atBest;     // bit k: candidate k scores the best; bit 8: keep its own pair
    LaneCounts newCounts{};                // cells per new pair in the rows the band chose
    LaneCounts skippedDelta{};             // changes to the counts of the rows skipped
    int codeBits = 0;                      // every code seen, or-ed together
    // The scores of a few consecutive rows, padded as the keys are: rows
    // windowFirst - 1 .. windowEnd, so that the rows windowFirst ..
    // windowEnd - 1 can choose from them. Empty when windowEnd is windowFirst.
    std::vector<double> window;
    std::vector<std::int16_t> shortWindow;  // the same in 16 bits, when the scores fit them
    int windowRows = 0;  // most rows whose choices one filling serves
    int windowFirst = 0, windowEnd = 0;
};

// Scratch of the whole-grid step: packed cells with a border of one cell on
// every side, the numbers drawn, per-row flags. A large world's scores are
// the world's own: the step keeps no other copy of them.
struct StepScratch {
    std::vector<std::uint16_t> keys[2];  // this step's packed cells and the step before's
    int current = 0;                     // which of keys[] is this step's
    std::vector<std::uint8_t> draws;     // the low bits of the number drawn for each cell this step
    std::vector<double> scores;          // small worlds: every score padded, -infinity where no cell lies
    std::vector<std::int16_t> shortScores;  // the same in 16 bits, the least where no cell lies, when sums fit
    bool scoredShort = false;            // the last step left its padded scores in shortScores, not scores
    std::vector<std::uint8_t> planes[3];  // small worlds: self, others and colour a byte a cell, padded as the keys
    std::vector<std::uint8_t> rowChanged;  // row r differs from the step before
    std::vector<std::uint8_t> rowSettled;  // row r kept every pair last step, and no draw decided it
    std::vector<BandScratch> bands;      // one per band of rows that a thread steps
    std::vector<std::uint8_t> rowSkipped;  // row r kept its pairs unchosen last step
    PairCounts skippedCounts{};          // cells per pair in the rows skipped last step
    std::array<double, 2 * kPairCount + 1> terms{};  // the inputs the scores were computed from
    bool playSelf = false;
    bool extraPoint = false;
    bool valid = false;  // keys[other], the world's scores and pairCounts describe a scored world
};

// What the variants' scores were computed from, so that a generation that
// starts where the last one ended need not score the world again. The
// scores themselves are not copied: whatever sets them otherwise than these
// rules do (the whole-grid step, the ecology, a restart) calls
// forgetLastStep or clears `valid` itself.
struct VariantScratch {
    std::vector<CellCode> color, self, other;  // the grids after the last variant generation
    PayoffTable table{};                       // the rules then
    bool playSelf = false;
    bool extraPoint = false;
    bool exact = false;  // every score is a whole number well inside 2^53: changes may be added up
    bool valid = false;  // the copies above describe the end of the last variant generation
    PairCounts pairCounts{};  // the pairs counted then

    // The Fermi rule's 1 / (1 + exp(x)) for the x met lately, keyed by x's
    // bits: a world's score differences take few values, so most updates
    // find theirs here and need no exp. Keyed by x itself, it holds for any
    // noise. Starts with a NaN key and value, which a NaN x may meet and
    // then compare as the formula would.
    struct FermiMemo {
        std::uint64_t bits = 0x7ff8'0000'dead'beefull;
        double chance = std::numeric_limits<double>::quiet_NaN();
    };
    std::array<FermiMemo, 64> fermiMemo{};
    // The random-sequential Fermi rule's bound on the chance, keyed by the
    // score difference, for the noise fermiNoise: the division by the noise
    // is made once for each difference met.
    std::array<FermiMemo, 256> fermiByDifference{};
    double fermiNoise = std::numeric_limits<double>::quiet_NaN();
    // The same bound for whole differences d from -fermiSpan to fermiSpan,
    // at fermiByWhole[d + fermiSpan], filled as met (a negative entry is not
    // yet computed): with whole-number scores every difference is whole.
    std::vector<double> fermiByWhole;
    int fermiSpan = -1;
    // Differences below fermiBelow adopt for sure, above fermiAbove never.
    double fermiBelow = std::numeric_limits<double>::quiet_NaN();
    double fermiAbove = std::numeric_limits<double>::quiet_NaN();
    // exp(x) for the x met lately, keyed the same way: the Moran rules'
    // fitness relative to a reference score.
    std::array<FermiMemo, 4096> expMemo{};
    // exp(W * d) for whole d from 0 down to -(size - 1), filled as met
    // (a negative entry is not yet computed), for the selection it holds:
    // with whole-number scores the Moran rules' differences are whole.
    std::vector<double> expTable;
    double expTableSelection = 0.0;

    // The synchronous schedule's next pairs.
    std::vector<CellCode> nextSelf, nextOther;
    // Birth-death: every cell's fitness exp(W * (score - reference)),
    // binned for drawing by fitness in a few steps whatever the world's size.
    FitnessSampler fitness;
    double reference = 0.0;
};

// The state isAbsorbing last answered for, and its answer.
struct AbsorbingMemo {
    std::vector<CellCode> color, self, other;
    PayoffTable table{};
    UpdateRule rule = UpdateRule::Synchronous;
    bool playSelf = false;
    bool extraPoint = false;
    bool answer = false;
    bool valid = false;
};

// The Moran rules' draw by weight: the first of weight[0 .. count - 1] whose
// running sum passes chance * total; the last one of weight above zero if
// rounding leaves none. Some weight must be above zero.
inline int pickByWeight(const double* weight, int count, double total, double chance) {
    const double target = chance * total;
    int pick = -1;
    double running = 0.0;
    for (int k = 0; k < count; ++k) {
        if (weight[k] <= 0.0) continue;
        pick = k;
        running += weight[k];
        if (target < running) break;
    }
    return pick;
}

// pickByWeight's choice, given also running[k], the sum of weight[0 .. k]
// added in order, without pickByWeight's unforeseeable branch. Weights that
// are never below zero (as exponentials are) with a finite total make the
// running sums rise, so the first that passes the target (always one of
// weight above zero) comes after all those that do not.
inline int pickByRunningSums(const double* weight, const double* running, int count, double total, double chance) {
    const double target = chance * total;
    int pick = 0;
    for (int k = 0; k < count; ++k) pick += !(target < running[k]);
    if (pick == count || !std::isfinite(total)) pick = pickByWeight(weight, count, total, chance);
    return pick;
}

// The largest difference between two entries of the payoff table, plus one
// with the extra point: a bound on what one game can change, the D of
// proportional imitation.
double payoffRangeOf(const PayoffTable& table, bool extraPoint);

class World {
public:
    // A world of the given shape (which must be valid), every cell Green
    // playing AllD with AllD, the default generator seed.
    explicit World(const WorldShape& shape = {});

    const WorldShape& shape() const { return shape_; }
    int rows() const { return shape_.rows; }
    int cols() const { return shape_.cols; }
    int cellCount() const { return shape_.rows * shape_.cols; }
    int index(int row, int col) const { return row * shape_.cols + col; }

    // --- The grids, row-major: element row * cols + column ---
    std::vector<CellCode> cellColor;      // colour code of each cell
    std::vector<CellCode> selfStrategy;   // strategy played against neighbours of the same colour
    std::vector<CellCode> otherStrategy;  // strategy played against neighbours of other colours
    // Each cell's total payoff in the latest generation. The step rescores
    // only the rows near a change and keeps the rest of these as they are:
    // whatever sets them otherwise than the rules do calls forgetLastStep
    // (clearScores does both).
    std::vector<double> score;

    // --- The rules of its generations ---
    PayoffTable payoffTable{};  // match totals, [own code][opponent's code]
    bool playSelf = false;      // every cell also plays one game against itself
    bool extraPoint = false;    // discriminating cells earn 1.0 per same-colour game

    // --- Model variants (the default is the synchronous rule with no mutation) ---
    UpdateRule updateRule = UpdateRule::Synchronous;  // how stepVariant updates the cells
    double noise = kDefaultNoise;  // K of the Fermi rule, > 0: in the units of the scores
    double mutation = 0.0;         // 0..1: after each generation, each strategy's chance of a random code
    EcologyRules ecology;          // the parameters of the ecology rule (its own mutation among them)
    double selection = kDefaultSelection;  // W > 0 of the Moran rules' fitness exp(W * score)
    // Codes a mutating strategy may take, drawn uniformly: true keeps a code
    // out (the seeding pools). All eight by default.
    std::array<bool, kCodeCount> selfMutationExcluded{};
    std::array<bool, kCodeCount> otherMutationExcluded{};

    std::int64_t generation = 0;  // generations stepped since the last reset of the counter
    Mt19937 random;               // this world's own generator: seeding and imitation draws

    // The cells around (row, col), as the shape's edges leave them.
    Around around(int row, int col) const;

    // Total payoff of the cell at (row, col) against its neighbours (and
    // itself when playSelf is on), games summed last to first. The per-cell
    // reference for the whole-grid step.
    double scoreCell(int row, int col) const;

    // Every cell's scoreCell for the world as it stands, into out (row-major),
    // by the whole-grid step's own scoring: the same numbers, many times
    // faster. Leaves `score` and the step's memory alone.
    void scoreCurrentState(std::vector<double>& out) const;

    // Element index of the cell whose pair the cell at (row, col) takes,
    // from the scores in `score`, scanning its candidates from draw % 8.
    int chooseCell(int row, int col, std::uint32_t draw) const;

    // One generation from the given numbers, one per cell in row-major
    // order: every score, every cell's next pair, the pair counts; threads
    // > 1 splits large worlds into bands of rows, with the same results.
    // Adds one to generation.
    void step(const std::uint32_t* draws, int threads = 1);

    // One generation with numbers from this world's own generator.
    void step(int threads = 1);

    // --- Model variants (world_variants.cpp); they draw only from random ---

    // Scores every cell from the current state, as scoreCell does.
    void scoreAll();

    // One asynchronous update of the cell at element `cell`: it takes the
    // pair chooseCell picks with `draw` from the current scores, and the
    // scores its change touches are brought up to date. Needs current
    // scores (scoreAll). True when the pair changed.
    bool updateCell(int cell, std::uint32_t draw);

    // Neighbours of the element `cell` that it plays and may imitate, in
    // the order of its games (left, right, up, down, then the diagonals);
    // fewer beside a fixed edge. Returns how many were written to out.
    int neighboursOf(int cell, int out[8]) const;

    // One Fermi update: the cell at element `cell` compares its score with
    // that of its neighbour number `neighbour` (an index into neighboursOf)
    // and takes that neighbour's pair when chance < 1 / (1 + exp((own -
    // theirs) / noise)); chance lies in (0, 1). Needs current scores; keeps
    // them current. True when the pair changed.
    bool compareWithNeighbour(int cell, int neighbour, double chance);

    // One generation of updateRule when it is not Synchronous. Runs on one
    // thread; adds one to generation and counts the pairs. The draws, in order:
    //  - random-sequential best: rows x cols times the cell (drawBelow), then
    //    one number for chooseCell;
    //  - random-sequential fermi and proportional: rows x cols times the cell
    //    (drawBelow), its neighbour (drawBelow over neighboursOf), the chance
    //    (drawUnit);
    //  - synchronous fermi and proportional: for each cell in row-major order
    //    the neighbour (drawBelow), then the chance (drawUnit);
    //  - death-birth: rows x cols times the dying cell (drawBelow), then the
    //    chance (drawUnit) that picks the neighbour by fitness;
    //  - birth-death: rows x cols times the tries that pick the reproducing
    //    cell by fitness (FitnessSampler::draw: drawUnit, drawBelow,
    //    drawUnit each), then its neighbour (drawBelow).
    void stepVariant();

    // `count` single updates of a random-sequential rule (every rule but
    // Synchronous, FermiSynchronous and Proportional), drawn as stepVariant
    // draws them: a generation is rows x cols of these. Counts the pairs;
    // leaves generation alone.
    void singleUpdates(std::uint32_t count);

    // One proportional-imitation decision: true when the cell at element
    // `cell` would take the pair of `other` for this chance in (0, 1), from
    // the current scores: score(other) > score(cell) and chance <
    // (score(other) - score(cell)) / (max(k_cell, k_other) * D).
    bool proportionalAdopts(int cell, int other, double chance) const;

    // payoffRangeOf this world's table and extra point.
    double payoffRange() const;

    // Games the element `cell` plays: its neighbours, and itself with playSelf.
    int gameCount(int cell) const;

    // Mutation: each cell in row-major order, with chance `mutation` its
    // self strategy and then, independently, its others strategy becomes a
    // code drawn uniformly from its mutation pool (which may be the one it
    // had): one number >> 29 when the pool holds all eight codes, else
    // drawBelow over the pool's codes in increasing order. An empty pool
    // leaves that strategy alone. Colours stay. Draws nothing when mutation
    // is 0. Counts the pairs; returns how many strategies were drawn afresh.
    int mutate();

    // Cells per (self, others) pair after the latest step; counted afresh
    // by countPairs.
    const PairCounts& pairCounts() const { return pairCounts_; }
    const PairCounts& countPairs();

    // True when every colour and strategy code is 0..7.
    bool codesInRange() const;

    // True when no draw of a stochastic rule can change any cell's pair
    // from the state as it stands, so the run is over: under Fermi and the
    // two Moran rules, no cell has a neighbour holding another pair; under
    // proportional imitation, no cell has a neighbour holding another pair
    // that scores more than it; under Asynchronous, no cell's pick,
    // whatever its draw, holds another pair (scores worked out afresh,
    // `score` left untouched). Never true with mutation above 0. The synchronous rule is deterministic and asks
    // nothing of this: a state it repeats is its end.
    bool isAbsorbing() const;

    // --- The ecological model (ecology.cpp); it draws only from random ---

    // True when the cell at element `cell` holds no agent.
    bool isEmpty(int cell) const { return cellColor[cell] < 0; }
    // Makes every cell empty.
    void clearCells();
    // One period of the ecology rule: immigrate, interact, reproduce, die.
    // Adds one to generation and counts the pairs (empty cells in none).
    void stepEcology();
    // Its four steps, in that order; each returns how many agents it
    // placed, (interact) met, bore or removed.
    int immigrate();
    int interact();  // sets `score` to each agent's PTR, 0 in empty cells
    int reproduce();
    int die();  // also counts the pairs of the agents left

    // Forgets what the last step computed, so the next one scores every cell
    // (whether the whole-grid step or a variant rule comes next).
    void forgetLastStep() {
        scratch_.valid = false;
        variant_.valid = false;
    }
    // Every score 0, as a restart leaves them; the next step scores every cell.
    void clearScores();

private:
    // step(draws, threads) from the low eight bits of each number, all that
    // a choice uses of it (draw % 8); with fill (where draws point), they
    // are first drawn from random, on this thread while another packs the
    // cells when there are bands.
    void stepWith(const std::uint8_t* draws, int threads, std::uint8_t* fill);
    // The stages of one generation of stepWith.
    class GenerationStep;
    void stepCellByCell(const std::uint8_t* draws);
    // Brings the scores that a new pair of `cell` touches up to date;
    // `games` is gamesOf(cell).
    void rescoreAround(int cell, const int games[8], int oldSelf, int oldOther);
    // `cell` takes the pair of the element `from`; true when that changed it.
    bool takePair(int cell, int from, const int games[8]);
    // The Fermi comparison of `cell` (whose games are `games`) with its
    // neighbour at element `other`.
    bool compareWith(int cell, int other, double chance, const int games[8]);
    // Writes the present cells of `games` to out in order; returns how many.
    static int presentOf(const int games[8], int out[8]) {
        int count = 0;
        for (int g = 0; g < 8; ++g) {
            out[count] = games[g];
            count += games[g] >= 0;
        }
        return count;
    }
    // The cells `cell` plays in the order of its games, -1 where none is.
    // Cells away from every edge have the same neighbours on a torus and in
    // a world with fixed edges, found by adding offsets; the rest go the
    // general way (gamesBesideEdge). True for a cell away from the edges.
    bool gamesOf(int cell, int out[8]) const {
        const int row = rowOf(cell);
        const int col = cell - row * shape_.cols;
        if (static_cast<unsigned>(row - 1) >= static_cast<unsigned>(shape_.rows - 2) ||
            static_cast<unsigned>(col - 1) >= static_cast<unsigned>(shape_.cols - 2)) {
            gamesBesideEdge(row, col, out);
            return false;
        }
        const int cols = shape_.cols;
        out[0] = cell - 1;
        out[1] = cell + 1;
        out[2] = cell - cols;
        out[3] = cell + cols;
        const bool moore = shape_.neighbourhood == Neighbourhood::Moore;
        out[4] = moore ? cell - cols - 1 : -1;
        out[5] = moore ? cell + cols - 1 : -1;
        out[6] = moore ? cell - cols + 1 : -1;
        out[7] = moore ? cell + cols + 1 : -1;
        return true;
    }
    void gamesBesideEdge(int row, int col, int out[8]) const;
    // cell / cols without a division: (cell * (floor(2^40 / cols) + 1)) >> 40 is
    // exact for every cell below 2^24, and worlds hold at most 4096^2 = 2^24.
    int rowOf(int cell) const {
        return static_cast<int>((static_cast<std::uint64_t>(cell) * rowReciprocal_) >> 40);
    }
    // scoreCell of the element `cell`, summed in the same order.
    double scoreAt(int cell) const;
    // The same with gamesOf(cell) already at hand.
    double scoreOf(int cell, const int games[8]) const;
    // Scores again a cell at least two cells away from the edges and the
    // kGames cells it plays, each of whose games are at + offsets[g].
    template <int kGames>
    void rescoreInside(int cell, const int offsets[8]);
    // Scores the world unless it is as the last variant generation left it.
    void prepareVariantScores();
    void keepVariantScores();

    // isAbsorbing for the state as it stands, without the memo.
    bool absorbingNow() const;
    // isAbsorbing under the ecology rule.
    bool ecologySettled() const;
    // ecologyCells_ := the empty cells (agents false) or the agents, row-major.
    void listCells(bool agents);

    // The generations of the rules in world_rules.cpp.
    void stepSynchronousImitation(bool fermi);
    void stepProportionalSequential(std::uint32_t updates);
    void stepDeathBirth(std::uint32_t updates);
    void stepBirthDeath(std::uint32_t updates);
    // `updates` single updates of a random-sequential rule.
    void sequentialUpdates(std::uint32_t updates);
    // The Fermi decision for score difference own - theirs and a chance.
    bool fermiAdopts(double own, double theirs, double chance);
    // fermiAdopts's bound for own - theirs = difference: chance < the bound adopts.
    double fermiChanceOf(double difference);
    // fermiChanceOf through VariantScratch::fermiByWhole, once
    // prepareFermiChances has made the bounds and the table for the noise.
    double fermiChance(double difference);
    void prepareFermiChances();
    // The random-sequential Fermi rule's updates, drawn as sequentialUpdates documents.
    void fermiUpdates(std::uint32_t updates);
    // exp(x) through expMemo.
    double memoExp(double x);
    // exp(selection * difference), from expTable when it can.
    double fitnessOf(double difference);
    // Whole-number differences above -kFitnessTableSize look their fitness up
    // in this table (entries below 0 not yet computed); null when the scores
    // are not whole numbers.
    static constexpr int kFitnessTableSize = 1 << 16;
    double* fitnessTable();
    // fitnessOf with the table at hand.
    double fitnessFrom(double* table, double difference);
    // Birth-death's fitness and its bins, made afresh from the scores.
    void buildFitness();

    WorldShape shape_;
    std::vector<int> rowAbove_, rowBelow_, colLeft_, colRight_;  // -1 beyond a fixed edge
    std::uint64_t rowReciprocal_ = 0;  // floor(2^40 / cols) + 1, for rowOf
    PairCounts pairCounts_{};
    StepScratch scratch_;
    VariantScratch variant_;
    mutable AbsorbingMemo absorbing_;
    std::vector<int> ecologyCells_;  // the ecology steps' list of empty cells or of agents
    EcologyPtrTable ecologyTable_;   // interact's PTR of every outcome of an agent's games
    std::vector<std::uint8_t> ecologyBits_;  // interact's help and occupancy bits of each cell
    std::vector<EcologyTurn> ecologyTurns_;  // reproduce's shuffled agents
};

inline double World::fermiChance(double difference) {
    // From the table where the difference is whole and within it (as it
    // always is with whole payoffs), from fermiChanceOf otherwise.
    VariantScratch& v = variant_;
    const double span = v.fermiSpan;
    if (difference >= -span && difference <= span) {
        const int whole = static_cast<int>(difference);
        if (static_cast<double>(whole) == difference) [[likely]] {
            double& entry = v.fermiByWhole[static_cast<std::size_t>(whole + v.fermiSpan)];
            if (entry < 0.0) [[unlikely]] entry = fermiChanceOf(difference);
            return entry;
        }
    }
    return fermiChanceOf(difference);
}

}  // namespace talvane
