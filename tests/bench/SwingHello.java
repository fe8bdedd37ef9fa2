import java.awt.BorderLayout;
import java.awt.image.BufferedImage;
import javax.swing.*;

// A small Swing user interface, laid out and painted into an image: the classes a Swing
// application loads before its first window, without a display. scripts/bench starts it with and
// without an archive of its classes (class-data sharing).
public class SwingHello {
    public static void main(String[] args) {
        JPanel panel = new JPanel(new BorderLayout());
        panel.add(new JLabel("Hello"), BorderLayout.NORTH);
        panel.add(new JScrollPane(new JTable(new Object[][] {{"a", 1}, {"b", 2}}, new Object[] {"Name", "Value"})),
                BorderLayout.CENTER);
        panel.add(new JScrollPane(new JTree()), BorderLayout.WEST);
        JPanel buttons = new JPanel();
        buttons.add(new JButton("OK"));
        buttons.add(new JCheckBox("Remember"));
        buttons.add(new JComboBox<>(new String[] {"one", "two"}));
        buttons.add(new JTextField(12));
        panel.add(buttons, BorderLayout.SOUTH);
        JMenuBar menus = new JMenuBar();
        menus.add(new JMenu("File")).add(new JMenuItem("Open"));
        panel.add(menus, BorderLayout.EAST);
        panel.setSize(640, 480);
        panel.doLayout();
        BufferedImage image = new BufferedImage(640, 480, BufferedImage.TYPE_INT_ARGB);
        panel.printAll(image.getGraphics());
        System.out.println("painted " + panel.getComponentCount() + " components");
        // Without a window the AWT would still wait a second before it lets the JVM end.
        System.exit(0);
    }
}
