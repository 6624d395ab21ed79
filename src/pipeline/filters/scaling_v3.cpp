// The scaling kernels built for x86-64-v3 processors.
