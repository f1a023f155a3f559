DIM a[3]
x = a + 1
