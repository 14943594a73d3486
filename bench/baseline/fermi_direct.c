/* The Fermi-rule Prisoner's Dilemma on an L x L torus with four neighbours,
 * written the direct way a researcher would write it: at every update both
 * players' payoffs are recomputed from scratch, neighbours are found with %,
 * numbers come from xorshift. The yardstick for Talvane's random-sequential
 * rules: same world, same number of updates.
 *
 *   talvane_fermi_direct [L [STEPS [B [K [SEED]]]]]
 *
 * defaults 200 1000 1.02 0.1 1: payoffs R = 1, S = 0, T = B, P = 0, noise K,
 * half the cells cooperators. Prints the updates per second and the final
 * share of cooperators. */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static uint64_t state = 88172645463325252ull;

static uint64_t xorshift(void) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

static double uniform(void) { return (xorshift() >> 11) * (1.0 / 9007199254740992.0); }

static int L;
static unsigned char *s; /* 1 = cooperate */
static double b;

static double game(int me, int other) {
    if (me) return other ? 1.0 : 0.0;
    return other ? b : 0.0;
}

static double payoff(int x, int y) {
    int me = s[x * L + y];
    return game(me, s[((x + 1) % L) * L + y]) + game(me, s[((x - 1 + L) % L) * L + y]) +
           game(me, s[x * L + (y + 1) % L]) + game(me, s[x * L + (y - 1 + L) % L]);
}

int main(int argc, char **argv) {
    L = argc > 1 ? atoi(argv[1]) : 200;
    long steps = argc > 2 ? atol(argv[2]) : 1000;
    b = argc > 3 ? atof(argv[3]) : 1.02;
    double K = argc > 4 ? atof(argv[4]) : 0.1;
    if (argc > 5) state = strtoull(argv[5], NULL, 10) * 0x9E3779B97F4A7C15ull | 1u;
    if (L < 3 || steps < 1 || K <= 0) {
        fprintf(stderr, "usage: %s [L >= 3 [STEPS >= 1 [B [K > 0 [SEED]]]]]\n", argv[0]);
        return 2;
    }
    s = malloc((size_t)L * L);
    if (!s) return 1;
    for (int i = 0; i < L * L; ++i) s[i] = xorshift() & 1;

    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    long updates = steps * L * L;
    for (long u = 0; u < updates; ++u) {
        int x = xorshift() % L, y = xorshift() % L;
        int nx = x, ny = y;
        switch (xorshift() % 4) {
            case 0: nx = (x + 1) % L; break;
            case 1: nx = (x - 1 + L) % L; break;
            case 2: ny = (y + 1) % L; break;
            default: ny = (y - 1 + L) % L; break;
        }
        double px = payoff(x, y), py = payoff(nx, ny);
        if (uniform() < 1.0 / (1.0 + exp((px - py) / K))) s[x * L + y] = s[nx * L + ny];
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    double seconds = (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) * 1e-9;
    long cooperators = 0;
    for (int i = 0; i < L * L; ++i) cooperators += s[i];
    printf("direct C: %ld updates in %.3f s = %.1f million updates/s, cooperators %.4f\n", updates, seconds,
           updates / seconds / 1e6, (double)cooperators / ((double)L * L));
    free(s);
    return 0;
}
