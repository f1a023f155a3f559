' Fails to translate: an array used without an index.
DIM a[3]
x = a + 1
