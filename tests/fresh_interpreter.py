"""Runs code in a new interpreter that imports the same installation as the tests."""

import os
import subprocess
import sys
import textwrap

import halvex.kelvo_engine
import vx_encoder


def run_fresh_interpreter(code: str, folder, **environment: str) -> str:
    """The code's standard output; it runs in folder, so the working directory shadows nothing,
    with the environment variables given added."""
    package_roots = {os.path.dirname(os.path.dirname(module.__file__)) for module in (vx_encoder, halvex.kelvo_engine)}
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sorted(package_roots)), **environment)
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                            check=True, cwd=folder, env=env)
    return result.stdout.strip()
