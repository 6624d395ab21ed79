// The output kernels built for x86-64-v2 processors.
