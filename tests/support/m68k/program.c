/* A bare 68000 program for the loader tests: code, read-only text, initialised data that is
 * not all zeros (so a lost or shifted segment shows in the bytes) and .bss that must not be
 * sent. It sums its data and returns to the monitor. */

static const char greeting[] = "Tarvoline test program on the 68000\r\n";

/* volatile: the compiler must keep the data in memory and the loop that reads it. */
volatile long counter = 0x12345678;
volatile unsigned char pattern[96] = {
    0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10,
    'd',  'a',  't',  'a',  ' ',  's',  'e',  'g',  'm',  'e',  'n',  't',  0x55, 0xAA, 0x5A, 0xA5,
};
volatile unsigned char scratch[256]; /* .bss */

__attribute__((section(".text.start"))) void _start(void)
{
    long sum = counter;
    const char* text = greeting;
    for (unsigned i = 0; i < sizeof pattern; ++i) {
        sum += pattern[i] ^ (unsigned char)*text;
        scratch[i] = (unsigned char)sum;
        text = text[1] ? text + 1 : greeting; /* no library: no division for a modulo */
    }
    counter = sum;
}
