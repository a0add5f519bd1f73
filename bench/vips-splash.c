/* The same box selection and grey-out as huelet-splash, JPEG to JPEG, through libvips' C API:
 * the peer program bench/stream.sh runs beside ours. Prints its own time and peak memory the
 * way bench_stream does. Built only for the benchmarks, never linked into Huelet.
 *
 *   vips_splash IN.jpg OUT.jpg R,G,B TR,TG,TB
 */
#include <stdio.h>
#include <sys/resource.h>
#include <time.h>
#include <vips/vips.h>

static double now_ms(clockid_t clock) {
    struct timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    double c[3], t[3];
    if (argc != 5 || sscanf(argv[3], "%lf,%lf,%lf", &c[0], &c[1], &c[2]) != 3 ||
        sscanf(argv[4], "%lf,%lf,%lf", &t[0], &t[1], &t[2]) != 3) {
        fprintf(stderr, "usage: %s IN.jpg OUT.jpg R,G,B TR,TG,TB\n", argv[0]);
        return 2;
    }
    const double wall0 = now_ms(CLOCK_MONOTONIC), cpu0 = now_ms(CLOCK_PROCESS_CPUTIME_ID);
    if (VIPS_INIT(argv[0]))
        vips_error_exit(NULL);
    VipsObject* context = VIPS_OBJECT(vips_image_new());
    VipsImage** p = (VipsImage**)vips_object_local_array(context, 6);
    const double one[3] = {1, 1, 1};
    const double minus[3] = {-c[0], -c[1], -c[2]};
    /* selected = |R - Rc| <= TR and |G - Gc| <= TG and |B - Bc| <= TB; grey = mean of R, G, B */
    if (!(p[0] = vips_image_new_from_file(argv[1], "access", VIPS_ACCESS_SEQUENTIAL, NULL)) ||
        vips_linear(p[0], &p[1], one, minus, 3, NULL) || vips_abs(p[1], &p[2], NULL) ||
        vips_relational_const(p[2], &p[3], VIPS_OPERATION_RELATIONAL_LESSEQ, t, 3, NULL) ||
        vips_bandand(p[3], &p[4], NULL) || vips_bandmean(p[0], &p[5], NULL))
        vips_error_exit(NULL);
    VipsImage* grey3[3] = {p[5], p[5], p[5]};
    VipsImage *grey, *out;
    if (vips_bandjoin(grey3, &grey, 3, NULL) || vips_ifthenelse(p[4], p[0], grey, &out, NULL))
        vips_error_exit(NULL);
    /* libjpeg's defaults as huelet writes them: quality 90, 2 x 2 chroma subsampling. */
    if (vips_image_write_to_file(out, argv[2], "Q", 90, "subsample_mode", VIPS_FOREIGN_SUBSAMPLE_ON,
                                 NULL))
        vips_error_exit(NULL);
    g_object_unref(out);
    g_object_unref(grey);
    g_object_unref(context);
    const double cpu = now_ms(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    const double wall = now_ms(CLOCK_MONOTONIC) - wall0;
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    printf("vips wall_ms %.1f cpu_ms %.1f maxrss_kib %ld\n", wall, cpu, usage.ru_maxrss);
    vips_shutdown();
    return 0;
}
