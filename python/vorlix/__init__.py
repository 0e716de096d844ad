"""vorlix: a fast, typed, in-memory spreadsheet workbook model."""

import _vorlix
from _vorlix import *  # noqa: F401,F403
from _vorlix import InternalFailure, readable  # noqa: F401

__all__ = list(_vorlix.__all__)
__version__ = _vorlix.__version__
