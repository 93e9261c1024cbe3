// Robust trends: the Theil-Sen slope (the median of all pairwise slopes) with
// its distribution-free confidence interval from Kendall's statistic, as in
// Sen (1968) and Helsel and Hirsch, "Statistical Methods in Water Resources".
#include "archive.h"

#include <math.h>

#include <algorithm>

double Rep_Median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    size_t h = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + h, v.end());
    if (v.size() % 2)
        return v[h];
    return (*std::max_element(v.begin(), v.begin() + h) + v[h]) / 2;
}

// The smallest C with P(S >= C) <= 2.5 % for Kendall's S of n untied points,
// or -1 when even the largest S is likelier (fewer than 5 points). Exact from
// the distribution of the number of inversions of a permutation up to 60
// points, the normal approximation with continuity correction above.
static long KendallCritical(int n)
{
    static long known[61];   // 0: not yet worked out; a history asks for the same n per beam
    if (n <= 60 && known[n])
        return known[n];
    long N = (long)n * (n - 1) / 2;
    if (n > 60) {
        long c = (long)ceil(1 + 1.96 * sqrt(n * (n - 1.0) * (2 * n + 5) / 18));
        return c + ((c - N) % 2 != 0);
    }
    std::vector<double> p(1, 1.0);   // p[j]: probability of j inversions
    for (int i = 2; i <= n; i++) {   // the i-th element adds 0..i-1 inversions
        std::vector<double> q(p.size() + i - 1);
        double run = 0;
        for (size_t k = 0; k < q.size(); k++) {
            if (k < p.size())
                run += p[k];
            if (k >= (size_t)i && k - i < p.size())
                run -= p[k - i];
            q[k] = run / i;
        }
        p.swap(q);
    }
    long c = -1;
    double tail = 0;   // P(S >= N - 2j) = P(at most j inversions)
    for (long j = 0; j <= N && (tail += p[j]) <= 0.025; j++)
        c = N - 2 * j;
    return known[n] = c;
}

REP_FIT Rep_TheilSen(const std::vector<double> &x, const std::vector<double> &y)
{
    REP_FIT fit = {};
    int n = (int)x.size();
    fit.nPoints = n;
    std::vector<double> slopes;
    slopes.reserve((size_t)n * (n - 1) / 2);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
            if (x[j] != x[i])
                slopes.push_back((y[j] - y[i]) / (x[j] - x[i]));
    if (slopes.empty())
        return fit;
    fit.fSlope = true;
    fit.flPivotX = Rep_Median(x);
    fit.flPivotY = Rep_Median(y);
    long c = KendallCritical(n), m = (long)slopes.size();
    long k = c < 0 ? 0 : ((long)n * (n - 1) / 2 - c) / 2 + 1;   // ranks k and m + 1 - k, from 1
    // Three ranks without a full sort (a history fits every beam): the
    // middle one first, then each end within its side of it.
    auto at = slopes.begin();
    long h = m / 2;
    std::nth_element(at, at + h, slopes.end());
    double mid = at[h];
    fit.flSlope = m % 2 ? mid : (*std::max_element(at, at + h) + mid) / 2;
    if (k < 1 || k > m + 1 - k)
        return fit;
    if (k - 1 < h)
        std::nth_element(at, at + (k - 1), at + h);
    if (m - k > h)
        std::nth_element(at + h + 1, at + (m - k), slopes.end());
    fit.fInterval = true;
    fit.flLow = k - 1 < h ? at[k - 1] : mid;
    fit.flHigh = m - k > h ? at[m - k] : mid;
    return fit;
}

double Rep_KendallTau(const std::vector<double> &x, const std::vector<double> &y)
{
    long s = 0, pairs = 0;
    for (size_t i = 0; i < x.size(); i++)
        for (size_t j = i + 1; j < x.size(); j++) {
            double d = (x[j] - x[i]) * (y[j] - y[i]);
            s += (d > 0) - (d < 0);
            pairs++;
        }
    return pairs ? (double)s / pairs : 0;
}
