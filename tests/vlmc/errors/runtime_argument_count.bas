' Fails to translate: a runtime operation called with too few arguments.
SetCamera(1, 2)
