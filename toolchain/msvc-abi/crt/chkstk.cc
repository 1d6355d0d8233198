// Why this exists: a function whose frame is larger than a page calls __chkstk with the size in
// rax before moving the stack pointer; it touches each new page in order so that the guard page
// below the stack grows it, and keeps every register but r10 and r11.
extern "C" __attribute__((naked)) void __chkstk() {
  asm volatile(R"(
    subq    $16, %rsp
    movq    %r10, (%rsp)
    movq    %r11, 8(%rsp)
    xorq    %r11, %r11
    leaq    24(%rsp), %r10       # the caller's stack pointer
    subq    %rax, %r10           # the new stack pointer, or 0 on underflow
    cmovbq  %r11, %r10
    movq    %gs:16, %r11         # the stack's current limit, from the thread information block
    cmpq    %r11, %r10
    jae     2f
    andw    $0xF000, %r10w
1:  leaq    -4096(%r11), %r11    # touch the next page down
    movb    $0, (%r11)
    cmpq    %r11, %r10
    jne     1b
2:  movq    (%rsp), %r10
    movq    8(%rsp), %r11
    addq    $16, %rsp
    retq
)");
}
