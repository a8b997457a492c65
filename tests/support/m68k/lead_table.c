/* A table of 512 bytes that the entry-inside program puts before its code. */
__attribute__((section(".rodata.lead"), used)) const unsigned short lead_table[256] = {
    0x4E71, 0x4E71, 0x1234, 0x5678, 0x9ABC, 0xDEF0, 0x0F0F, 0xF0F0,
};
