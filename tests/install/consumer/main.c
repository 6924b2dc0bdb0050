/* A program that knows the library only through its installed header. */
#include <stdio.h>

#include <QV_Rizoviv2I_RO25.h>

int main(void) {
    uint8_t prefix = 0x55;
    if (QVImagerClose() != 1) return 1;
    if (QVImagerGetPrefix1(&prefix) != -1 || prefix != 0) return 1;
    printf("installed library answers\n");
    return 0;
}
