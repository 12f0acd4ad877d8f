// Drag teaching, collision detection, force sensor, keypad, real-time client and the tool-end
// board of collaborative arms.

using System;

namespace velmora.clr
{
    public partial class Cobot
    {
        /// <summary>As the other form without the drag button.</summary>
        public void enableDrag(DragOpt.Space space, DragOpt.Type type, out ErrorCode ec)
        {
            enableDrag(space, type, false, out ec);
        }

        /// <summary>Keys 1 to 7 at indices 0 to 6; seven values also on failure.</summary>
        public bool[] getKeypadStateArray(out ErrorCode ec)
        {
            KeyPadState state = getKeypadState(out ec);
            return new bool[]
            {
                state.key1_state, state.key2_state, state.key3_state, state.key4_state, state.key5_state,
                state.key6_state, state.key7_state
            };
        }
    }
}
