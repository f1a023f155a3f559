' Fails to translate: a file that starts with a byte order mark reads as text; the error's column counts after it.
x = 1 +
