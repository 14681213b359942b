"""The package's main job, end to end."""

import vx_encoder


def main() -> None:
    print(f"vx_encoder {vx_encoder.__version__}")


if __name__ == "__main__":
    main()
