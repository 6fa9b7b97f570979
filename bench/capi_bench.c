/* capi_bench [--kinds=classic] FILE...: times reading every text of each drawing through
 * libdwgtext, as a program that uses the C API reads them: open by path,
 * dwgtext_next to the end, close. Repeats each drawing for at least a second
 * (and at least 3 times) and prints, one line a drawing, tab-separated: the
 * file, its texts, and the fastest run in seconds. bench/python_vs_capi.py
 * sets these beside the same runs through the Python package.
 * --kinds=classic reads the texts of TEXT, ATTRIB, ATTDEF and MTEXT only. */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "dwgtext.h"

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* One run: the number of texts, or -1 when the drawing was not read. */
static long read_texts(const char *path, unsigned flags)
{
    dwgtext_drawing *drawing;
    dwgtext_text text;
    long texts = 0;
    if (dwgtext_open_path(path, flags, &drawing) != DWGTEXT_OK)
        return -1;
    while (dwgtext_next(drawing, &text) == 1)
        ++texts;
    if (dwgtext_status(drawing) != DWGTEXT_READ)
        texts = -1;
    dwgtext_close(drawing);
    return texts;
}

static int time_drawing(const char *path, unsigned flags)
{
    double best = 0, spent = 0;
    long texts = 0;
    for (int runs = 0; runs < 3 || spent < 1.0; ++runs) {
        const double start = now();
        texts = read_texts(path, flags);
        const double seconds = now() - start;
        if (texts < 0) {
            fprintf(stderr, "capi_bench: %s is not read\n", path);
            return 1;
        }
        best = runs == 0 || seconds < best ? seconds : best;
        spent += seconds;
    }
    printf("%s\t%ld\t%.9f\n", path, texts, best);
    return 0;
}

int main(int argc, char **argv)
{
    const int classic = argc > 1 && strcmp(argv[1], "--kinds=classic") == 0;
    if (argc < 2 + classic) {
        fprintf(stderr, "usage: capi_bench [--kinds=classic] FILE...\n");
        return 2;
    }
    int failed = 0;
    for (int i = 1 + classic; i < argc; ++i)
        failed |= time_drawing(argv[i], classic ? DWGTEXT_CLASSIC_KINDS : 0);
    return failed;
}
