from .version import vx_version

__all__ = []

__version__ = vx_version
