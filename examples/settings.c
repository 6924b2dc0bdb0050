/* Reads and changes symbology settings: the Code 39 enable flag and options,
 * and the security level. The engine keeps what it is given, and the library
 * saves it so that the next QVImagerOpen applies it again.
 * Build: cc settings.c $(pkg-config --cflags --libs qvimager) */
#include <stdio.h>

#include <QV_Rizoviv2I_RO25.h>

int main(void) {
    if (QVImagerOpen() != 1) {
        fprintf(stderr, "cannot open the imager\n");
        return 1;
    }
    int ok = 1;
    int32_t enabled = 0, v1 = 0, v2 = 0, v3 = 0, v4 = 0, level = 0;

    ok = ok && QVImagerGetSymboleEnable(QV_SYM_CODE39, &enabled) == 1;
    ok = ok && QVImagerGetCode39Setting(&v1, &v2, &v3, &v4) == 1;
    ok = ok && QVImagerGetSecurtyLevel(&level) == 1;
    if (ok) {
        printf("Code 39: %s, options %d,%d,%d,%d; security level %d\n", enabled ? "on" : "off", v1,
               v2, v3, v4, level);
    }

    /* Switch Code 39 on with its first option set, and raise the level. */
    ok = ok && QVImagerSetSymboleEnable(QV_SYM_CODE39, 1) == 1;
    ok = ok && QVImagerSetCode39Setting(1, v2, v3, v4) == 1;
    ok = ok && QVImagerSetSecurtyLevel(level + 1) == 1;

    int32_t now = 0, n1 = 0, n2 = 0, n3 = 0, n4 = 0, nowLevel = 0;
    ok = ok && QVImagerGetSymboleEnable(QV_SYM_CODE39, &now) == 1;
    ok = ok && QVImagerGetCode39Setting(&n1, &n2, &n3, &n4) == 1;
    ok = ok && QVImagerGetSecurtyLevel(&nowLevel) == 1;
    if (ok) {
        printf("now:     %s, options %d,%d,%d,%d; security level %d\n", now ? "on" : "off", n1, n2,
               n3, n4, nowLevel);
    }

    /* Put the first values back. */
    ok = ok && QVImagerSetSymboleEnable(QV_SYM_CODE39, enabled) == 1;
    ok = ok && QVImagerSetCode39Setting(v1, v2, v3, v4) == 1;
    ok = ok && QVImagerSetSecurtyLevel(level) == 1;

    QVImagerClose();
    if (!ok || now != 1 || n1 != 1 || nowLevel != level + 1) {
        fprintf(stderr, "the settings did not change as asked\n");
        return 1;
    }
    return 0;
}
