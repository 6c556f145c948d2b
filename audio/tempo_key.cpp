// tempo_key.cpp - the key decision: the pitch-class energy correlated with the
// Krumhansl-Kessler major and minor profiles in all 24 keys, and the key names.
// Threads: any thread (key_name); UI thread (key_estimate).
#include <cmath>

#include "audio/tempo.h"

static const char* const kKeyNames[24] = {
    "C MAJ", "C# MAJ", "D MAJ", "D# MAJ", "E MAJ", "F MAJ", "F# MAJ", "G MAJ",
    "G# MAJ", "A MAJ", "A# MAJ", "B MAJ", "C MIN", "C# MIN", "D MIN", "D# MIN",
    "E MIN", "F MIN", "F# MIN", "G MIN", "G# MIN", "A MIN", "A# MIN", "B MIN",
};

// From the tonic upwards.
static const double kMajor[12] = {6.35, 2.23, 3.48, 2.33, 4.38, 4.09, 2.52, 5.19, 2.39, 3.66, 2.29, 2.88};
static const double kMinor[12] = {6.33, 2.68, 3.52, 5.38, 2.60, 3.53, 2.54, 4.75, 3.98, 2.69, 3.34, 3.17};

static const double kMinCorrelation = 0.55;
static const double kMinMargin = 0.02;

const char* key_name(int32_t key)
{
    return key >= 0 && key < 24 ? kKeyNames[key] : "";
}

// Pearson correlation of the profile with the chroma rotated to start at `tonic`; 0
// when the chroma is flat.
static double correlation(const double* profile, const double* chroma, int tonic)
{
    double pm = 0.0, cm = 0.0;
    for (int i = 0; i < 12; i++) {
        pm += profile[i];
        cm += chroma[i];
    }
    pm /= 12.0;
    cm /= 12.0;
    double num = 0.0, pp = 0.0, cc = 0.0;
    for (int i = 0; i < 12; i++) {
        double dp = profile[i] - pm;
        double dc = chroma[(tonic + i) % 12] - cm;
        num += dp * dc;
        pp += dp * dp;
        cc += dc * dc;
    }
    if (cc <= 1e-12)
        return 0.0;
    return num / std::sqrt(pp * cc);
}

void key_estimate(TempoAnalysis* a)
{
    if (!a)
        return;
    double total = 0.0;
    for (double c : a->chroma)
        total += c;
    if (!(total > 1e-9))
        return;
    int best_key = -1;
    double best = -2.0, second = -2.0;   // below any correlation
    for (int k = 0; k < 24; k++) {
        double c = correlation(k < 12 ? kMajor : kMinor, a->chroma, k % 12);
        if (c > best) {
            second = best;
            best = c;
            best_key = k;
        } else if (c > second) {
            second = c;
        }
    }
    a->key_confidence = best > 0.0 ? (float)best : 0.0f;
    if (best >= kMinCorrelation && best - second >= kMinMargin)
        a->key = best_key;
}
