/* LD_PRELOAD library for 32-bit Wine under qemu-user (i386 only).
 * qemu-user 7.2 takes MAP_FIXED_NOREPLACE as a mere hint: when the address is
 * taken it maps elsewhere instead of failing with EEXIST. Wine relies on the
 * failure to lay out its address space; without it each 32-bit process spends
 * tens of seconds fragmenting memory, and a WoW64 prefix cannot map its shared
 * data. This wraps mmap/mmap64 and restores the kernel's answer.
 * Built freestanding and linked against the i386 C library:
 *   gcc -m32 -O2 -fPIC -ffreestanding -c mmap_noreplace_shim.c
 *   ld -m elf_i386 -shared -o shim.so mmap_noreplace_shim.o -L/usr/lib/i386-linux-gnu -lc */
typedef unsigned int size_t;
typedef long off_t;
typedef long long off64_t;

#define MAP_FAILED ((void*)-1)
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define EINVAL 22
#define SYS_mmap2 192
#define PAGE_BYTES 4096

extern int* __errno_location(void);
extern long syscall(long number, ...);
extern int munmap(void* address, size_t length);

void* mmap64(void* address, size_t length, int prot, int flags, int fd, off64_t offset) {
    if (offset & (PAGE_BYTES - 1)) {
        *__errno_location() = EINVAL;
        return MAP_FAILED;
    }
    void* got = (void*)syscall(SYS_mmap2, address, length, prot, flags, fd,
                               (unsigned long)(offset / PAGE_BYTES));
    if (got == MAP_FAILED || !(flags & MAP_FIXED_NOREPLACE) || got == address) return got;
    /* Mapped elsewhere: undo it and answer as the kernel does. */
    munmap(got, length);
    *__errno_location() = EEXIST;
    return MAP_FAILED;
}

void* mmap(void* address, size_t length, int prot, int flags, int fd, off_t offset) {
    return mmap64(address, length, prot, flags, fd, (off64_t)offset);
}
