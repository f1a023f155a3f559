SetCamera(1, 2)
