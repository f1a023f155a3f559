' Fails to translate: a misspelt runtime operation.
SetCamra(0, 0, 0, 1, 1, 1)
