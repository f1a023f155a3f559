' Fails to translate: text without its closing quote.
PRINT "open
