vx_version = "0.2.5.2048"
