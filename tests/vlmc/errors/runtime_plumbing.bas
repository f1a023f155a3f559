' Fails to translate: the runtime's own plumbing is no operation of the language.
DestroyRenderer()
ResetGLState()
n = GLStateSwitchCount()
EndScreen()
StopMovie()
